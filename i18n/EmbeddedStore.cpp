#include "i18n/EmbeddedStore.h"
#include "i18n/StoreMarker.h"
#include "platform/Files.h"

#include <QByteArray>
#include <QFile>

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace i18n {

namespace {

// The appending tool finds this text in the executable file and writes the directory
// position into the 8 bytes behind it. Volatile, so that the value is read from the
// image at run time and never folded into the code.
struct MarkerBytes
{
    unsigned char bytes[store_marker::Size];
};

constexpr MarkerBytes markerWithZeroPosition()
{
    MarkerBytes marker{};
    const auto bytes = store_marker::withZeroPosition();
    for (std::size_t i = 0; i < bytes.size(); ++i)
        marker.bytes[i] = bytes[i];
    return marker;
}

__attribute__((used)) volatile const MarkerBytes storeMarker = markerWithZeroPosition();

constexpr std::uint64_t entryHeaderSize = 24;
// A name field far beyond the 232 bytes the tool writes means a damaged directory.
constexpr std::uint64_t maxNameLength = 64 * 1024;

// Checked reads from the opened executable; the descriptor belongs to the store.
class ExecutableFile
{
public:
    explicit ExecutableFile(int fd) : m_fd(fd)
    {
        struct stat info;
        if (m_fd >= 0 && ::fstat(m_fd, &info) == 0)
            m_size = static_cast<std::uint64_t>(info.st_size);
    }

    std::uint64_t size() const { return m_size; }

    // Reads exactly count bytes at position, nothing past the end of the file.
    bool read(std::uint64_t position, void *buffer, std::uint64_t count) const
    {
        if (position > m_size || count > m_size - position)
            return false;
        return platform::readFully(m_fd, buffer, position, count);
    }

    bool read64(std::uint64_t position, std::uint64_t &value) const
    {
        unsigned char bytes[8];
        if (!read(position, bytes, sizeof bytes))
            return false;
        value = store_marker::readLittleEndian64(bytes);
        return true;
    }

private:
    int m_fd = -1;
    std::uint64_t m_size = 0;
};

} // namespace

TEmbeddedStore::TEmbeddedStore() : TEmbeddedStore(OwnExecutablePath(), OwnDirectoryPosition())
{
    // The kernel's link to the running image, which an upgrade that replaces the file at
    // the program's path leaves alone.
    m_sourcePath = QStringLiteral("/proc/self/exe");
}

TEmbeddedStore::TEmbeddedStore(QString executablePath, std::uint64_t directoryPosition)
    : m_executablePath(std::move(executablePath)), m_sourcePath(m_executablePath),
      m_directoryPosition(directoryPosition)
{
}

TEmbeddedStore::~TEmbeddedStore() = default;

TEmbeddedStore::TEmbeddedStore(TEmbeddedStore &&other) noexcept
    : m_executablePath(std::move(other.m_executablePath)),
      m_sourcePath(std::move(other.m_sourcePath)),
      m_descriptor(std::move(other.m_descriptor)),
      m_directoryPosition(other.m_directoryPosition),
      m_executableFolder(std::move(other.m_executableFolder)), m_index(std::move(other.m_index))
{
}

TEmbeddedStore &TEmbeddedStore::operator=(TEmbeddedStore &&other) noexcept
{
    if (this != &other) {
        m_executablePath = std::move(other.m_executablePath);
        m_sourcePath = std::move(other.m_sourcePath);
        m_descriptor = std::move(other.m_descriptor);
        m_directoryPosition = other.m_directoryPosition;
        m_executableFolder = std::move(other.m_executableFolder);
        m_index = std::move(other.m_index);
    }
    return *this;
}

QString TEmbeddedStore::StoredName(const QByteArray &nameField)
{
    qsizetype begin = 0;
    qsizetype end = nameField.size();
    while (begin < end && static_cast<unsigned char>(nameField[begin]) <= 0x20)
        ++begin;
    while (end > begin && static_cast<unsigned char>(nameField[end - 1]) <= 0x20)
        --end;
    QString name = QString::fromUtf8(nameField.constData() + begin, end - begin);
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return name;
}

QString TEmbeddedStore::IndexKey(const QString &storedName)
{
    return storedName.toCaseFolded();
}

std::uint64_t TEmbeddedStore::OwnDirectoryPosition()
{
    unsigned char bytes[store_marker::PositionSize];
    for (std::size_t i = 0; i < store_marker::PositionSize; ++i)
        bytes[i] = storeMarker.bytes[store_marker::Text.size() + i];
    return store_marker::readLittleEndian64(bytes);
}

QString TEmbeddedStore::OwnExecutablePath()
{
    std::array<char, 4096> buffer{};
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= buffer.size())
        return {};
    return QFile::decodeName(QByteArray(buffer.data(), length));
}

void TEmbeddedStore::ScanStore()
{
    if (m_directoryPosition == 0)
        return;
    m_executableFolder = m_executablePath.left(m_executablePath.lastIndexOf(QLatin1Char('/')) + 1);

    m_descriptor.close();
    m_index.clear();
    m_descriptor.reset(::open(QFile::encodeName(m_sourcePath).constData(), O_RDONLY | O_CLOEXEC));
    if (!m_descriptor.valid())
        return;
    ScanDirectory();
    // Nothing to serve: no reason to keep the file open.
    if (m_index.isEmpty()) {
        m_descriptor.close();
    }
}

void TEmbeddedStore::ScanDirectory()
{
    const ExecutableFile file(m_descriptor.get());

    // Every position and length comes from the file itself, so each is checked
    // against the file's size before it is used; anything that does not fit ends the scan.
    std::uint64_t position = m_directoryPosition;
    for (;;) {
        std::uint64_t next = 0;
        if (!file.read64(position, next) || next == 0)
            return;
        TEmbeddedFileInfo info;
        if (!file.read64(position + 8, info.dataPosition) ||
            !file.read64(position + 16, info.length))
            return;
        // Entries only ever move forward, which also rules out loops.
        if (next <= position + entryHeaderSize ||
            next - (position + entryHeaderSize) > maxNameLength)
            return;
        // A file that ends inside the next entry's header still keeps this one: the next
        // read fails and ends the scan there.
        if (next > file.size())
            return;
        if (info.dataPosition > file.size() || info.length > file.size() - info.dataPosition)
            return;
        QByteArray field(static_cast<qsizetype>(next - position - entryHeaderSize),
                         Qt::Uninitialized);
        if (!file.read(position + entryHeaderSize, field.data(),
                       static_cast<std::uint64_t>(field.size())))
            return;
        const QString name = StoredName(field);
        if (name.isEmpty())
            return;
        const QString key = IndexKey(name);
        if (m_index.contains(key))
            return;
        m_index.insert(key, Entry{name, info});
        position = next;
    }
}

const TEmbeddedStore::Entry *TEmbeddedStore::Find(const QString &path) const
{
    if (m_executableFolder.isEmpty() || !path.startsWith(m_executableFolder, Qt::CaseSensitive))
        return nullptr;
    const auto it = m_index.constFind(IndexKey(path.mid(m_executableFolder.size())));
    return it == m_index.cend() ? nullptr : &it.value();
}

bool TEmbeddedStore::StoreHasFile(const QString &path) const
{
    return Find(path) != nullptr;
}

TLocatedFile TEmbeddedStore::LocateFile(const QString &path) const
{
    if (const Entry *entry = Find(path))
        return {m_executablePath, entry->info.dataPosition, entry->info.length, m_descriptor.get()};
    return {path, 0, 0};
}

QStringList TEmbeddedStore::FileNames() const
{
    QStringList names;
    for (const Entry &entry : m_index)
        names.append(entry.name);
    return names;
}

} // namespace i18n
