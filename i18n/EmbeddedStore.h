#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

#include <cstdint>

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
};

// Read-only folder of files appended behind the executable image, rooted at the
// executable's own folder. The directory is found through the position that the
// appending tool writes into a marker constant of the image.
class TEmbeddedStore
{
public:
    // The running program: its own path and the position from its own marker.
    TEmbeddedStore();
    // Any executable file with a known directory position (0: no store).
    TEmbeddedStore(QString executablePath, std::uint64_t directoryPosition);

    // Fills the index once. A damaged or unreadable directory ends the scan
    // silently; entries read before stay usable.
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

private:
    struct Entry
    {
        QString name;
        TEmbeddedFileInfo info;
    };

    const Entry *Find(const QString &path) const;

    QString m_executablePath;
    std::uint64_t m_directoryPosition = 0;
    QString m_executableFolder;
    QMap<QString, Entry> m_index; // keyed by the case-folded name
};
