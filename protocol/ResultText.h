#pragma once

#include <QChar>
#include <QString>

namespace protocol {

// A measured value with its standard uncertainty, rounded together (two significant
// digits of the uncertainty): "(0,502 ± 0,013)", "(1,200 ± 0,034)·10⁻⁶". Without an
// uncertainty the value alone, with four significant digits.
QString measuredText(double value, double uncertainty, QChar decimalSeparator);

// A result as a physicist writes it: "a = (0,502 ± 0,013) m/s²".
QString resultText(const QString &symbol, double value, double uncertainty, const QString &unit,
                   QChar decimalSeparator);

} // namespace protocol
