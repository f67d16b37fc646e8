#pragma once

#include <QString>

namespace timing {

// True when the name the user chose for the save dialog asks for CSV (see RunCsv.h).
bool isCsvFileName(const QString &path);

} // namespace timing
