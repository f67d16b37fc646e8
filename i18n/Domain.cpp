#include "i18n/Domain.h"

#include "i18n/EmbeddedStore.h"
#include "platform/Errors.h"
#include "platform/Files.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace i18n {

namespace {

QString systemErrorText(int error)
{
    char buffer[2000];
    // GNU strerror_r may return a static text instead of filling the buffer.
    const char *text = strerror_r(error, buffer, sizeof buffer);
    return QString::fromLocal8Bit(text);
}

QString headerValue(std::string_view header, const QString &fieldName)
{
    const QByteArray pattern = fieldName.toUpper().toUtf8() + ": ";
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

QString notValidText(const QString &path)
{
    return QStringLiteral("This file is not a valid GNU gettext mo file: ") + path;
}

} // namespace

TDomain::TDomain(QString name, const TEmbeddedStore *store)
    : m_name(std::move(name)), m_store(store)
{
}

TDomain::~TDomain()
{
    CloseCatalog();
}

TDomain::TReadGuard::TReadGuard(TDomain *domain) : m_domain(domain)
{
    m_domain->m_readers.fetch_add(1);
}

TDomain::TReadGuard::~TReadGuard()
{
    if (m_domain && m_domain->m_readers.fetch_sub(1) == 1 && m_domain->m_anyRetired.load())
        m_domain->ReclaimRetired();
}

void TDomain::Publish(std::unique_ptr<TCatalogData> data)
{
    // A lookup counts itself among the readers before it loads the catalog, so once the
    // new one is in place and no reader is counted, nobody holds the old ones.
    m_catalog.store(data.get());
    if (m_owned) {
        m_retired.push_back(std::move(m_owned));
        m_anyRetired.store(true);
    }
    m_owned = std::move(data);
    if (m_readers.load() == 0) {
        m_retired.clear();
        m_anyRetired.store(false);
    }
}

void TDomain::ReclaimRetired()
{
    // The last reader out frees what was replaced, unless an opening holds the lock; the
    // next one out tries again.
    const std::unique_lock<std::mutex> locker(m_catalogLock, std::try_to_lock);
    if (!locker.owns_lock() || m_readers.load() != 0)
        return;
    m_retired.clear();
    m_anyRetired.store(false);
}

void TDomain::SetCatalogFolder(const QString &folder)
{
    const std::lock_guard<std::mutex> locker(m_catalogLock);
    Publish(nullptr);
    m_mayOpen = true;
    m_directory = folder;
}

void TDomain::SetCatalogLanguage(const QString &code)
{
    const std::lock_guard<std::mutex> locker(m_catalogLock);
    Publish(nullptr);
    m_mayOpen = true;
    m_languageCode = code;
}

bool TDomain::HasFile(const QString &path) const
{
    if (m_store && m_store->StoreHasFile(path))
        return true;
    // Only a regular file can be a catalog; a FIFO or a device would block or never end.
    struct stat info;
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
}

QString TDomain::OpenedPath() const
{
    const TReadGuard guard(const_cast<TDomain *>(this));
    const TCatalogData *data = m_catalog.load();
    return data ? data->openedPath : QString();
}

void TDomain::RaiseNotValid(const TCatalogData *damaged)
{
    // The catalog stays open and empty: later lookups return their keys at once. The
    // damaged one goes once the last lookup still searching it lets go.
    const QString path = damaged->openedPath;
    {
        const std::lock_guard<std::mutex> locker(m_catalogLock);
        if (m_catalog.load() == damaged)
            Publish(std::make_unique<TCatalogData>(0, path));
    }
    throw platform::TfError(notValidText(path));
}

void TDomain::OpenCatalog()
{
    OpenAndGet();
}

const TDomain::TCatalogData *TDomain::OpenAndGet()
{
    const std::lock_guard<std::mutex> locker(m_catalogLock);
    if (const TCatalogData *open = m_catalog.load(); open || !m_mayOpen)
        return open;
    const QString tail = QStringLiteral("/LC_MESSAGES/") + m_name + QStringLiteral(".mo");
    QString path = m_directory + m_languageCode + tail;
    if (!HasFile(path)) {
        path = m_directory + m_languageCode.left(2) + tail;
        if (!HasFile(path)) {
            m_mayOpen = false;
            return nullptr;
        }
    }
    const bool stored = m_store && m_store->StoreHasFile(path);
    const TLocatedFile located = m_store ? m_store->LocateFile(path) : TLocatedFile{path, 0, 0};
    const QString &opened = located.path;

    // A stored catalog comes from the executable the store scanned, even if an upgrade has
    // put another file at its path since. Never blocks: a path on disk may have been
    // replaced by a FIFO since it was looked at.
    const platform::FileDescriptor fd(
        located.descriptor >= 0
            ? ::fcntl(located.descriptor, F_DUPFD_CLOEXEC, 0)
            : ::open(QFile::encodeName(opened).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info;
    if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode))
        throw platform::TfError(QStringLiteral("Cannot open file ") + opened);
    const auto fileSize = static_cast<std::uint64_t>(info.st_size);

    // A stored catalog ends where its stored length ends; a file on disk at the end of
    // the file. Neither may reach past the file.
    std::uint64_t size = 0;
    if (located.dataPosition <= fileSize) {
        size = fileSize - located.dataPosition;
        if (stored && located.length < size)
            size = located.length;
    }
    std::unique_ptr<unsigned char[]> bytes(new (std::nothrow) unsigned char[size ? size : 1]);
    if (!bytes)
        throw platform::TfError(QStringLiteral("Cannot create memory map on file ") + opened);
    if (!platform::readFully(fd.get(), bytes.get(), located.dataPosition, size)) {
        const int error = errno;
        throw platform::TfError(QStringLiteral("Cannot map file ") + opened +
                                QStringLiteral(" into memory. Reason: ") + systemErrorText(error));
    }

    TMoCatalog catalog;
    if (!catalog.Attach(bytes.get(), size)) {
        // Open and empty, so later lookups return their keys without a new attempt.
        Publish(std::make_unique<TCatalogData>(0, opened));
        throw platform::TfError(notValidText(opened));
    }

    // A catalog without entries has nothing to decode, so only catalogs with entries
    // must declare UTF-8. One that does not is never published: it stays closed and
    // searchable, and every lookup raises the error again.
    if (catalog.Count() > 0) {
        std::string_view header;
        if (catalog.Find({}, header) == TMoCatalog::Search::Damaged) {
            Publish(std::make_unique<TCatalogData>(0, opened));
            throw platform::TfError(notValidText(opened));
        }
        if (!headerValue(header, QStringLiteral("Content-Type"))
                 .toUpper()
                 .contains(QLatin1String("CHARSET=UTF-8")))
            throw platform::TfError(
                QStringLiteral("The translation for the language code ") + m_languageCode +
                QStringLiteral(" (in ") + opened +
                QStringLiteral(") does not have charset=utf-8 in its Content-Type. "
                               "Translations are turned off."));
    }

    auto data = std::make_unique<TCatalogData>(catalog.Count(), opened);
    data->bytes = std::move(bytes);
    data->size = size;
    data->catalog = catalog;
    const TCatalogData *published = data.get();
    Publish(std::move(data));
    return published;
}

void TDomain::CloseCatalog()
{
    const std::lock_guard<std::mutex> locker(m_catalogLock);
    Publish(nullptr);
    m_mayOpen = true;
}

TDomain::TFound TDomain::LookupEntry(std::string_view key)
{
    TReadGuard guard(this);
    const TCatalogData *data = m_catalog.load();
    if (!data) {
        // What this lookup opened, even if another thread closes it at once: the guard
        // keeps it.
        if (m_mayOpen.load(std::memory_order_relaxed))
            data = OpenAndGet();
        if (!data)
            return {key, 0, false, nullptr, {}};
    }
    std::string_view translation;
    std::uint32_t entry;
    switch (data->catalog.Find(key, translation, entry)) {
    case TMoCatalog::Search::Found:
        return {translation, entry, true, data, std::move(guard)};
    case TMoCatalog::Search::Missing:
        return {key, 0, false, nullptr, {}};
    case TMoCatalog::Search::Damaged:
        break;
    }
    RaiseNotValid(data);
}

QString TDomain::HeaderValue(const QString &fieldName)
{
    const TFound header = LookupEntry(std::string_view());
    return headerValue(header.text, fieldName);
}

} // namespace i18n
