#pragma once

#include "platform/Files.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <cstdint>

namespace i18n {

// Where one stored file lies inside the executable.
struct TEmbeddedFileInfo
{
    std::uint64_t dataPosition = 0;
    std::uint64_t length = 0;
};

// Answer of LocateFile: the file to open and where the wanted data starts in it.
// For a file on disk the position and length are 0.
struct TLocatedFile
{
    QString path;
    std::uint64_t dataPosition = 0;
    std::uint64_t length = 0;
    // For a stored file: the executable as it was opened for the scan, still readable when
    // the file at path has been replaced since (an upgrade). -1 for a file on disk.
    int descriptor = -1;
};

// Read-only folder of files appended behind the executable image, rooted at the
// executable's own folder. The directory is found through the position that the
// appending tool writes into a marker constant of the image.
class TEmbeddedStore
{
public:
    // The running program: its own path and the position from its own marker; the store
    // is read from the running image, whatever lies at its path later.
    TEmbeddedStore();
    // Any executable file with a known directory position (0: no store).
    TEmbeddedStore(QString executablePath, std::uint64_t directoryPosition);
    ~TEmbeddedStore();
    TEmbeddedStore(TEmbeddedStore &&other) noexcept;
    TEmbeddedStore &operator=(TEmbeddedStore &&other) noexcept;
    TEmbeddedStore(const TEmbeddedStore &) = delete;
    TEmbeddedStore &operator=(const TEmbeddedStore &) = delete;

    // Fills the index once. A damaged or unreadable directory ends the scan
    // silently; entries read before stay usable. The file stays open for LocateFile.
    void ScanStore();

    bool StoreHasFile(const QString &path) const;
    TLocatedFile LocateFile(const QString &path) const;

    // Up to and including the last separator; empty when the executable has no store.
    QString ExecutableFolder() const { return m_executableFolder; }
    QString ExecutablePath() const { return m_executablePath; }
    // Stored names as written, with the platform's separators, sorted without regard to case.
    QStringList FileNames() const;

    // The directory position held by this program's own marker, least significant byte first.
    static std::uint64_t OwnDirectoryPosition();
    static QString OwnExecutablePath();

    // A directory entry's name field as the index holds it: trimmed of blanks and control
    // characters, with the platform's separators. Empty means the entry ends the scan.
    static QString StoredName(const QByteArray &nameField);
    // The key under which the index keeps a stored name; two names with the same key
    // cannot both be stored.
    static QString IndexKey(const QString &storedName);

private:
    struct Entry
    {
        QString name;
        TEmbeddedFileInfo info;
    };

    void ScanDirectory();
    const Entry *Find(const QString &path) const;

    QString m_executablePath;
    // What ScanStore opens: the path, or for the running program its running image.
    QString m_sourcePath;
    platform::FileDescriptor m_descriptor;
    std::uint64_t m_directoryPosition = 0;
    QString m_executableFolder;
    QMap<QString, Entry> m_index; // keyed by the case-folded name
};

} // namespace i18n
