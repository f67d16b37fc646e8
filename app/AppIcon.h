#pragma once

#include <QIcon>

namespace app {

// The application's title, which task bars show for its windows.
inline constexpr char ApplicationTitle[] = "Tachoflux";

// The program's window and task bar icon in every size desktops show: the icon theme's
// where the program is installed into one (16 to 256 pixels and the drawing), else the
// sizes built into the program, whose 16 x 16 picture is the program's own 16-colour one.
QIcon applicationIcon();

} // namespace app
