#pragma once

#include <QString>

namespace protocol {

// True when the name the user chose for the save dialog asks for CSV (see RunCsv.h).
bool isCsvFileName(const QString &path);

} // namespace protocol
