// Writes the store that the program's embedded store reads: the files, then the directory
// of 256-byte entries and an 8-byte terminator, and patches the directory's position into
// the marker constant.
//
//   tf_append_store [--allow-duplicate-names] [--leave-marker] EXECUTABLE NAME=FILE...
//       appends the store behind the executable (a store appended earlier is replaced);
//   tf_append_store --blob STORE SOURCE NAME=FILE...
//       lays the store out in the file STORE and writes the C++ file SOURCE that places
//       STORE in a read-only section of its own; linked into a program, the store is part
//       of its loaded image, which strip and packaging tools leave where it is;
//   tf_append_store --in-section EXECUTABLE NAME=FILE...
//       after linking such a program: rewrites the section's store with the positions it
//       has in the executable file and patches the marker.
//
// NAME is the path relative to the executable's folder ("locale/de/LC_MESSAGES/default.mo");
// it is written with backslash separators.

#include "i18n/EmbeddedStore.h"
#include "i18n/StoreMarker.h"
#include "platform/Files.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace {

const std::string markerText = i18n::store_marker::text();
constexpr std::size_t markerTextLength = i18n::store_marker::Text.size();
constexpr std::size_t entrySize = 256;
constexpr std::size_t entryHeaderSize = 24;
constexpr std::size_t nameFieldSize = entrySize - entryHeaderSize;
constexpr char sectionName[] = ".tachoflux.store";

struct StoredFile
{
    std::string name;
    std::vector<char> data;
};

std::vector<char> readFile(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path.string());
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Written beside the target and renamed over it, keeping the target's permissions.
void replaceFile(const std::filesystem::path &target, const std::vector<char> &bytes)
{
    const QByteArray path(target.c_str());
    struct stat existing{};
    const bool exists = ::stat(path.constData(), &existing) == 0 && S_ISREG(existing.st_mode);
    platform::ReplaceOptions options;
    options.temporaryTemplate = path + ".store-tmp-XXXXXX";
    const mode_t mask = ::umask(0);
    ::umask(mask);
    options.newFileMode = 0666 & ~mask;
    const platform::ReplaceResult result =
        platform::replaceFile(path, exists ? &existing : nullptr,
                              QByteArray(bytes.data(), qsizetype(bytes.size())), options);
    if (!result)
        throw std::runtime_error("cannot write " + target.string() + ": " +
                                 std::strerror(result.error));
}

void put64(std::vector<char> &out, std::size_t at, std::uint64_t value)
{
    i18n::store_marker::writeLittleEndian64(out.data() + at, value);
}

std::uint64_t get64(const std::vector<char> &in, std::uint64_t at)
{
    if (at > in.size() || in.size() - at < 8)
        throw std::runtime_error("the existing store's directory is damaged");
    return i18n::store_marker::readLittleEndian64(in.data() + at);
}

std::size_t findMarker(const std::vector<char> &image)
{
    const auto end = image.end();
    auto it = std::search(image.begin(), end, markerText.begin(), markerText.end());
    if (it == end)
        throw std::runtime_error("the store marker was not found in the executable");
    const auto again = std::search(it + 1, end, markerText.begin(), markerText.end());
    if (again != end)
        throw std::runtime_error("the store marker occurs more than once in the executable");
    const auto at = static_cast<std::size_t>(it - image.begin());
    if (image.size() - at < markerTextLength + 8)
        throw std::runtime_error("the store marker is cut off at the end of the executable");
    return at;
}

// Where the image proper ends: before the first stored file of an earlier run.
std::uint64_t imageEnd(const std::vector<char> &file, std::uint64_t directory)
{
    std::uint64_t end = directory;
    for (std::uint64_t position = directory;;) {
        const std::uint64_t next = get64(file, position);
        if (next == 0)
            return end;
        if (next <= position)
            throw std::runtime_error("the existing store's directory is damaged");
        end = std::min(end, get64(file, position + 8));
        position = next;
    }
}

struct Section
{
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};

// The store section of an ELF executable, found through the section headers.
std::optional<Section> findSection(const std::vector<char> &file)
{
    if (file.size() < 64 || file[0] != 0x7f || file[1] != 'E' || file[2] != 'L' || file[3] != 'F')
        return std::nullopt;
    const bool wide = file[4] == 2;
    const bool big = file[5] == 2;
    const auto field = [&](std::uint64_t at, int width) {
        if (at > file.size() || file.size() - at < std::uint64_t(width))
            throw std::runtime_error("the executable's section headers are damaged");
        std::uint64_t value = 0;
        for (int i = 0; i < width; ++i) {
            const auto byte = static_cast<unsigned char>(file[at + (big ? i : width - 1 - i)]);
            value = (value << 8) | byte;
        }
        return value;
    };
    const int word = wide ? 8 : 4;
    const std::uint64_t headers = field(wide ? 0x28 : 0x20, word);
    const std::uint64_t headerSize = field(wide ? 0x3A : 0x2E, 2);
    const std::uint64_t count = field(wide ? 0x3C : 0x30, 2);
    const std::uint64_t namesIndex = field(wide ? 0x3E : 0x32, 2);
    if (headers == 0 || count == 0 || namesIndex >= count)
        return std::nullopt;
    const auto offsetOf = [&](std::uint64_t index) {
        return field(headers + index * headerSize + (wide ? 24 : 16), word);
    };
    const auto sizeOf = [&](std::uint64_t index) {
        return field(headers + index * headerSize + (wide ? 32 : 20), word);
    };
    const std::uint64_t names = offsetOf(namesIndex);
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint64_t name = names + field(headers + i * headerSize, 4);
        if (name >= file.size())
            continue;
        if (std::string(&file[name], strnlen(&file[name], file.size() - name)) == sectionName) {
            const Section section{offsetOf(i), sizeOf(i)};
            if (section.offset > file.size() || section.size > file.size() - section.offset)
                throw std::runtime_error("the store section lies outside the executable");
            return section;
        }
    }
    return std::nullopt;
}

std::string storeName(std::string name)
{
    std::replace(name.begin(), name.end(), '/', '\\');
    return name;
}

// The whole store for files placed at base: data, zeros to an 8-byte boundary, the
// directory, the terminator. Returns the directory's position.
std::uint64_t layOut(const std::vector<StoredFile> &files, std::uint64_t base,
                     std::vector<char> &out)
{
    std::vector<std::uint64_t> positions;
    for (const StoredFile &file : files) {
        positions.push_back(base + out.size());
        out.insert(out.end(), file.data.begin(), file.data.end());
    }
    // Relative to the store's start, so that its size does not depend on where it lies.
    out.resize((out.size() + 7) / 8 * 8, '\0');
    const std::uint64_t directory = base + out.size();
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::size_t at = out.size();
        out.resize(at + entrySize, ' ');
        put64(out, at, base + at + entrySize);
        put64(out, at + 8, positions[i]);
        put64(out, at + 16, files[i].data.size());
        std::copy(files[i].name.begin(), files[i].name.end(), out.begin() + at + entryHeaderSize);
    }
    out.resize(out.size() + 8, '\0');
    return directory;
}

std::uint64_t fnv1a(const std::vector<char> &bytes)
{
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (const char c : bytes)
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
    return hash;
}

std::string quotedForAssembler(const std::string &path)
{
    std::string quoted;
    for (const char c : path) {
        if (c == '"' || c == '\\')
            quoted += "\\\\\\";
        quoted += c;
    }
    return quoted;
}

void writeBlob(const std::filesystem::path &blob, const std::filesystem::path &source,
               const std::vector<StoredFile> &files)
{
    std::vector<char> store;
    layOut(files, 0, store);
    replaceFile(blob, store);
    const std::string absolute = std::filesystem::absolute(blob).string();
    // The content's hash makes the source change with the store, so that no compiler cache
    // hands out an object with an older store.
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(fnv1a(store)));
    std::string text = "// Generated by tf_append_store; store content ";
    text += hash;
    text += ".\n// The store lies in a read-only section of its own, inside the loaded image; the\n"
            "// section is retained (R), so that no --gc-sections drops it for want of a reference.\n";
    text += "__asm__(\".pushsection ";
    text += sectionName;
    text += ",\\\"aR\\\",%progbits\\n\"\n";
    text += "        \".balign 8\\n\"\n";
    text += "        \".incbin \\\"" + quotedForAssembler(absolute) + "\\\"\\n\"\n";
    text += "        \".popsection\\n\");\n";
    replaceFile(source, std::vector<char>(text.begin(), text.end()));
}

void writeInSection(const std::filesystem::path &executable, const std::vector<StoredFile> &files)
{
    std::vector<char> image = readFile(executable);
    const std::size_t marker = findMarker(image);
    const std::optional<Section> section = findSection(image);
    if (!section)
        throw std::runtime_error(std::string("the executable has no section ") + sectionName);
    std::vector<char> store;
    const std::uint64_t directory = layOut(files, section->offset, store);
    if (store.size() != section->size)
        throw std::runtime_error("the store section holds " + std::to_string(section->size) +
                                 " bytes, the files need " + std::to_string(store.size()));
    std::copy(store.begin(), store.end(), image.begin() + std::ptrdiff_t(section->offset));
    put64(image, marker + markerTextLength, directory);
    replaceFile(executable, image);
}

void append(const std::filesystem::path &executable, const std::vector<StoredFile> &files,
            bool leaveMarker)
{
    std::vector<char> image = readFile(executable);
    const std::size_t marker = findMarker(image);
    if (findSection(image))
        throw std::runtime_error(std::string("the executable carries its store in the section ") +
                                 sectionName + "; use --in-section");
    const std::uint64_t previous = get64(image, marker + markerTextLength);
    if (previous != 0)
        image.resize(imageEnd(image, previous));
    put64(image, marker + markerTextLength, 0);

    std::vector<char> store;
    const std::uint64_t directory = layOut(files, image.size(), store);
    image.insert(image.end(), store.begin(), store.end());
    if (!leaveMarker)
        put64(image, marker + markerTextLength, directory);
    replaceFile(executable, image);
}

int run(int argc, char **argv)
{
    bool allowDuplicates = false;
    bool leaveMarker = false;
    bool blob = false;
    bool inSection = false;
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--allow-duplicate-names")
            allowDuplicates = true;
        else if (argument == "--leave-marker")
            leaveMarker = true;
        else if (argument == "--blob")
            blob = true;
        else if (argument == "--in-section")
            inSection = true;
        else
            arguments.push_back(argument);
    }
    const std::size_t outputs = blob ? 2 : 1;
    if (arguments.size() < outputs || (blob && inSection)) {
        std::cerr << "usage: tf_append_store [--allow-duplicate-names] [--leave-marker] "
                     "EXECUTABLE NAME=FILE...\n"
                     "       tf_append_store --blob STORE SOURCE NAME=FILE...\n"
                     "       tf_append_store --in-section EXECUTABLE NAME=FILE...\n";
        return 2;
    }

    std::vector<StoredFile> files;
    std::set<QString> seen;
    for (auto it = arguments.begin() + std::ptrdiff_t(outputs); it != arguments.end(); ++it) {
        const auto equals = it->find('=');
        if (equals == std::string::npos || equals == 0)
            throw std::runtime_error("expected NAME=FILE, got " + *it);
        StoredFile file{storeName(it->substr(0, equals)), readFile(it->substr(equals + 1))};
        if (file.name.size() > nameFieldSize)
            throw std::runtime_error("name longer than " + std::to_string(nameFieldSize) +
                                     " bytes: " + file.name);
        // The names as the program's reader will see and index them.
        const QByteArray field = QByteArray::fromStdString(file.name);
        const QString stored = i18n::TEmbeddedStore::StoredName(field);
        if (stored.isEmpty() || QString(stored).replace('/', '\\').toUtf8() != field)
            throw std::runtime_error("the program would read this name differently (blanks at "
                                     "either end, or not UTF-8): " +
                                     file.name);
        if (!seen.insert(i18n::TEmbeddedStore::IndexKey(stored)).second && !allowDuplicates)
            throw std::runtime_error("duplicate name (letter case is ignored): " + file.name);
        files.push_back(std::move(file));
    }

    if (blob)
        writeBlob(arguments[0], arguments[1], files);
    else if (inSection)
        writeInSection(arguments[0], files);
    else
        append(arguments[0], files, leaveMarker);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    try {
        return run(argc, argv);
    } catch (const std::exception &error) {
        std::cerr << "tf_append_store: " << error.what() << '\n';
        return 1;
    }
}
