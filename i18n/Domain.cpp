#include "Domain.h"

#include "EmbeddedStore.h"
#include "platform/Errors.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemErrorText(int error)
{
    char buffer[2000];
    // GNU strerror_r may return a static text instead of filling the buffer.
    const char *text = strerror_r(error, buffer, sizeof buffer);
    return QString::fromLocal8Bit(text);
}

class FileDescriptor
{
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

} // namespace

TDomain::TDomain(QString name, const TEmbeddedStore *store)
    : m_name(std::move(name)), m_store(store)
{
}

TDomain::~TDomain()
{
    CloseCatalog();
}

void TDomain::SetCatalogFolder(const QString &folder)
{
    CloseCatalog();
    m_directory = folder;
}

void TDomain::SetCatalogLanguage(const QString &code)
{
    CloseCatalog();
    m_languageCode = code;
}

bool TDomain::HasFile(const QString &path) const
{
    if (m_store && m_store->StoreHasFile(path))
        return true;
    struct stat info;
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && !S_ISDIR(info.st_mode);
}

void TDomain::Unmap()
{
    if (m_view)
        ::munmap(m_view, m_viewSize);
    m_view = nullptr;
    m_viewSize = 0;
    m_catalog.Clear();
    m_translations.Reset(0);
}

void TDomain::RaiseNotValid()
{
    // The catalog stays open and empty: later lookups return their keys at once. The
    // translations decoded so far stay until it closes, as other threads may hold them.
    m_catalog.Clear();
    throw TfError(QStringLiteral("This file is not a valid GNU gettext mo file: ") + m_openedPath);
}

void TDomain::OpenCatalog()
{
    {
        QWriteLocker locker(&m_catalogLock);
        if (m_open || !m_mayOpen)
            return;
        const QString tail = QStringLiteral("/LC_MESSAGES/") + m_name + QStringLiteral(".mo");
        QString path = m_directory + m_languageCode + tail;
        if (!HasFile(path)) {
            path = m_directory + m_languageCode.left(2) + tail;
            if (!HasFile(path)) {
                m_mayOpen = false;
                return;
            }
        }
        const bool stored = m_store && m_store->StoreHasFile(path);
        const TLocatedFile located = m_store ? m_store->LocateFile(path) : TLocatedFile{path, 0, 0};
        const QString &opened = located.path;

        // A stored catalog comes from the executable the store scanned, even if an upgrade
        // has put another file at its path since.
        const FileDescriptor fd(
            located.descriptor >= 0
                ? ::fcntl(located.descriptor, F_DUPFD_CLOEXEC, 0)
                : ::open(QFile::encodeName(opened).constData(), O_RDONLY | O_CLOEXEC));
        if (fd.get() < 0)
            throw TfError(QStringLiteral("Cannot open file ") + opened);
        struct stat info;
        if (::fstat(fd.get(), &info) != 0)
            throw TfError(QStringLiteral("Cannot create memory map on file ") + opened);
        const auto fileSize = static_cast<std::uint64_t>(info.st_size);
        void *view = nullptr;
        if (fileSize > 0) {
            view = ::mmap(nullptr, fileSize, PROT_READ, MAP_SHARED, fd.get(), 0);
            if (view == MAP_FAILED) {
                const int error = errno;
                throw TfError(QStringLiteral("Cannot map file ") + opened +
                              QStringLiteral(" into memory. Reason: ") + systemErrorText(error));
            }
        }
        m_view = view;
        m_viewSize = fileSize;
        m_dataPosition = located.dataPosition;
        m_openedPath = opened;

        // A stored catalog ends where its stored length ends; a file on disk at the end of
        // the file. Neither may reach past what was mapped.
        std::uint64_t catalogSize = 0;
        if (m_dataPosition <= fileSize) {
            catalogSize = fileSize - m_dataPosition;
            if (stored && located.length < catalogSize)
                catalogSize = located.length;
        }
        const bool valid =
            m_view && m_dataPosition <= fileSize &&
            m_catalog.Attach(static_cast<const unsigned char *>(m_view) + m_dataPosition,
                             catalogSize);
        if (valid)
            m_translations.Reset(m_catalog.Count());
        // Open only once the catalog is in place, for lookups that do not take the lock.
        m_open.store(true, std::memory_order_release);
        if (!valid)
            RaiseNotValid();
    }

    // A catalog without entries has nothing to decode, so only catalogs with entries
    // must declare UTF-8.
    if (m_catalog.Count() == 0)
        return;
    if (!HeaderValue(QStringLiteral("Content-Type"))
             .toUpper()
             .contains(QLatin1String("CHARSET=UTF-8"))) {
        const QString opened = m_openedPath;
        CloseCatalog();
        throw TfError(QStringLiteral("The translation for the language code ") + m_languageCode +
                      QStringLiteral(" (in ") + opened +
                      QStringLiteral(") does not have charset=utf-8 in its Content-Type. "
                                     "Translations are turned off."));
    }
}

void TDomain::CloseCatalog()
{
    QWriteLocker locker(&m_catalogLock);
    if (m_open) {
        Unmap();
        m_open = false;
    }
    m_mayOpen = true;
}

TDomain::TFound TDomain::LookupEntry(std::string_view key)
{
    if (!m_open.load(std::memory_order_acquire)) {
        if (m_mayOpen.load(std::memory_order_relaxed))
            OpenCatalog();
        if (!m_open.load(std::memory_order_acquire))
            return {key};
    }
    std::string_view translation;
    std::uint32_t entry;
    switch (m_catalog.Find(key, translation, entry)) {
    case TMoCatalog::Search::Found:
        return {translation, entry, true};
    case TMoCatalog::Search::Missing:
        return {key};
    case TMoCatalog::Search::Damaged:
        break;
    }
    RaiseNotValid();
}

QString TDomain::HeaderValue(const QString &fieldName)
{
    const QByteArray pattern = fieldName.toUpper().toUtf8() + ": ";
    const std::string_view header = Lookup(std::string_view());
    std::size_t lineStart = 0;
    while (lineStart < header.size()) {
        std::size_t lineEnd = header.find_first_of("\r\n", lineStart);
        if (lineEnd == std::string_view::npos)
            lineEnd = header.size();
        const std::string_view line = header.substr(lineStart, lineEnd - lineStart);
        if (line.size() >= std::size_t(pattern.size()) &&
            QByteArray(line.data(), pattern.size()).toUpper() == pattern) {
            std::string_view value = line.substr(pattern.size());
            while (!value.empty() && static_cast<unsigned char>(value.front()) <= 0x20)
                value.remove_prefix(1);
            while (!value.empty() && static_cast<unsigned char>(value.back()) <= 0x20)
                value.remove_suffix(1);
            return QString::fromUtf8(value.data(), qsizetype(value.size()));
        }
        // CR, LF and CR LF each end one line.
        lineStart = lineEnd + 1;
        if (lineEnd + 1 < header.size() && header[lineEnd] == '\r' && header[lineEnd + 1] == '\n')
            ++lineStart;
    }
    return {};
}
