#include "protocol/CsvExport.h"

namespace protocol {

bool isCsvFileName(const QString &path)
{
    return path.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive);
}

} // namespace protocol
