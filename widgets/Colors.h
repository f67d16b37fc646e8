#pragma once

#include <QColor>
#include <QRgb>
#include <QtGlobal>

namespace widgets {

// A toolkit colour: 0x00BBGGRR, or a system colour index with the top bit set.
using TColor = qint32;

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clMaroon = 0x000080;
inline constexpr TColor clLime = 0x00FF00;
inline constexpr TColor clWhite = 0xFFFFFF;

inline QColor toQColor(TColor color)
{
    const auto c = quint32(color);
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

// The colour's RGB value; a system colour takes its role's colour from the desktop's
// palette, so it has to be resolved before any arithmetic on its channels.
QRgb resolveColor(TColor color);

} // namespace widgets
