#pragma once

#include <QByteArray>
#include <QString>

class EInOutError;

namespace timing {

// The toolkit's I/O error for a numbered failure: seven fixed English texts, every
// other number as the translated "I/O error %d".
EInOutError inOutError(int errorCode);

// The I/O error number for a C library errno value.
int ioErrorCodeFromErrno(int error);

// Replaces the file at `path` by `bytes`. The bytes go to a temporary file beside it,
// which is flushed, closed and renamed over the target only when complete: a failure
// leaves an existing file as it was and removes the temporary one. An existing file's
// permissions are kept. Throws EInOutError.
void writeFileReplacing(const QString &path, const QByteArray &bytes);

} // namespace timing
