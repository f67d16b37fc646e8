#pragma once

#include <QIcon>

namespace app {

// The program's icon for its windows: from the icon theme, else the sizes installed beside
// the program (share/icons/hicolor below the installation prefix), else none.
QIcon desktopIcon();

} // namespace app
