#include "protocol/CsvExport.h"

namespace timing {

bool isCsvFileName(const QString &path)
{
    return path.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive);
}

} // namespace timing
