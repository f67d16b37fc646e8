// Appends files behind a built executable and writes the directory that the program's
// embedded store reads, then patches the directory position into the marker constant.
//
//   tf_append_store [--allow-duplicate-names] [--leave-marker] EXECUTABLE NAME=FILE...
//
// NAME is the path relative to the executable's folder ("locale/de/LC_MESSAGES/default.mo");
// it is written with backslash separators. Running the tool again on an executable that
// already has a store replaces that store.

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr char markerText[] = "3C142149-3BC7-47C3-9FA4-2E52359BFE6E";
constexpr std::size_t markerTextLength = sizeof markerText - 1;
constexpr std::size_t entrySize = 256;
constexpr std::size_t entryHeaderSize = 24;
constexpr std::size_t nameFieldSize = entrySize - entryHeaderSize;

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

void put64(std::vector<char> &out, std::size_t at, std::uint64_t value)
{
    for (std::size_t i = 0; i < 8; ++i)
        out[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint64_t get64(const std::vector<char> &in, std::uint64_t at)
{
    if (at > in.size() || in.size() - at < 8)
        throw std::runtime_error("the existing store's directory is damaged");
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(in[at + i]);
    return value;
}

std::size_t findMarker(const std::vector<char> &image)
{
    const auto end = image.end();
    auto it = std::search(image.begin(), end, markerText, markerText + markerTextLength);
    if (it == end)
        throw std::runtime_error("the store marker was not found in the executable");
    const auto again = std::search(it + 1, end, markerText, markerText + markerTextLength);
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

std::string storeName(std::string name)
{
    std::replace(name.begin(), name.end(), '/', '\\');
    return name;
}

std::string foldedName(std::string name)
{
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return name;
}

int run(int argc, char **argv)
{
    bool allowDuplicates = false;
    bool leaveMarker = false;
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--allow-duplicate-names")
            allowDuplicates = true;
        else if (argument == "--leave-marker")
            leaveMarker = true;
        else
            arguments.push_back(argument);
    }
    if (arguments.empty()) {
        std::cerr << "usage: tf_append_store [--allow-duplicate-names] [--leave-marker] "
                     "EXECUTABLE NAME=FILE...\n";
        return 2;
    }
    const std::filesystem::path executable = arguments.front();

    std::vector<StoredFile> files;
    std::set<std::string> seen;
    for (auto it = arguments.begin() + 1; it != arguments.end(); ++it) {
        const auto equals = it->find('=');
        if (equals == std::string::npos || equals == 0)
            throw std::runtime_error("expected NAME=FILE, got " + *it);
        StoredFile file{storeName(it->substr(0, equals)), readFile(it->substr(equals + 1))};
        if (file.name.size() > nameFieldSize)
            throw std::runtime_error("name longer than " + std::to_string(nameFieldSize) +
                                     " bytes: " + file.name);
        // The reader stops at a name it already holds, in any letter case.
        if (!seen.insert(foldedName(file.name)).second && !allowDuplicates)
            throw std::runtime_error("duplicate name: " + file.name);
        files.push_back(std::move(file));
    }

    std::vector<char> image = readFile(executable);
    const std::size_t marker = findMarker(image);
    const std::uint64_t previous = get64(image, marker + markerTextLength);
    if (previous != 0)
        image.resize(imageEnd(image, previous));
    put64(image, marker + markerTextLength, 0);

    std::vector<std::uint64_t> positions;
    for (const StoredFile &file : files) {
        positions.push_back(image.size());
        image.insert(image.end(), file.data.begin(), file.data.end());
    }
    image.resize((image.size() + 7) / 8 * 8, '\0');
    const std::uint64_t directory = image.size();
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::size_t at = image.size();
        image.resize(at + entrySize, ' ');
        put64(image, at, at + entrySize);
        put64(image, at + 8, positions[i]);
        put64(image, at + 16, files[i].data.size());
        std::copy(files[i].name.begin(), files[i].name.end(), image.begin() + at + entryHeaderSize);
    }
    image.resize(image.size() + 8, '\0');
    if (!leaveMarker)
        put64(image, marker + markerTextLength, directory);

    // Written beside the executable and renamed over it, keeping its permissions.
    const std::filesystem::path temporary = executable.string() + ".store-tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(image.data(), static_cast<std::streamsize>(image.size()));
        out.close();
        if (!out)
            throw std::runtime_error("cannot write " + temporary.string());
    }
    std::filesystem::permissions(temporary, std::filesystem::status(executable).permissions());
    std::filesystem::rename(temporary, executable);
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
