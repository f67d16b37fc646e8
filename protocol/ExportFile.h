#pragma once

#include <QByteArray>
#include <QString>

#include "platform/Errors.h"

namespace protocol {

// The framework's I/O error for a numbered failure: seven fixed English texts, every
// other number as the translated "I/O error %d".
platform::EInOutError inOutError(int errorCode);

// The I/O error number for a C library errno value.
int ioErrorCodeFromErrno(int error);

// Makes `bytes` the whole content of the file at `path`; every file the program exports
// goes through here. Throws EInOutError.
//
// - Links are followed: the file a link resolves to is written and the link stays.
// - Only a regular file is ever written. A folder, FIFO, device or socket is refused
//   (error 5), and so is a write-protected file: one whose owner lacks write permission,
//   even where the process could override it, or one the process may not write.
// - The bytes go to a temporary file in the target's folder, which is flushed and renamed
//   over the target only when complete, keeping an existing file's permissions and owner.
//   A failure leaves an existing file as it was.
// - Where that is impossible (its folder takes no new file, its owner cannot be kept), the
//   export is refused and the file kept: a rewrite in place could leave half a file.
// - Temporaries left by an export that was killed are removed by the next one in that folder.
void writeFileReplacing(const QString &path, const QByteArray &bytes);

// What writeFileReplacing() throws: the framework's numbered error, whose message() stays
// its fixed text, and beside it the German explanation that names the file and the cause.
class ExportError : public platform::EInOutError
{
public:
    ExportError(const platform::EInOutError &error, QString explanation)
        : platform::EInOutError(error), m_explanation(std::move(explanation))
    {
    }
    // "/home/a/runs.txt kann nicht gespeichert werden: kein Speicherplatz auf dem Gerät."
    QString explanation() const { return m_explanation; }

private:
    QString m_explanation;
};

// The German explanation of an export failure: the file and the cause of an errno value
// or of NotAFile / WriteProtected.
inline constexpr int NotAFile = -1;
inline constexpr int WriteProtected = -2;
QString exportErrorText(const QString &path, int error);

// The name prefix of the temporary files beside an export's target.
inline constexpr char TemporaryPrefix[] = ".tachoflux-export-";

} // namespace protocol
