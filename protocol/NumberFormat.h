#pragma once

#include <QChar>
#include <QString>

namespace protocol {

// Fixed-point text with three decimals, rounded half away from zero to no more than
// ten significant digits; no thousands separators. A value with more than ten integer
// digits comes out in scientific notation (1,5E15), and non-finite values as NAN, INF
// and -INF.
QString formatFixed3(long double value, QChar decimalSeparator);

// The same with 0 to 9 decimals (others are clamped), for statistics that need a finer
// or coarser figure than the list's three.
QString formatFixed(long double value, int decimals, QChar decimalSeparator);

} // namespace protocol
