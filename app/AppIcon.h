#pragma once

#include <QIcon>

// The application's title, which task bars show for its windows.
inline constexpr char ApplicationTitle[] = "Tachoflux";

// The program's window and task bar icon: a single 16 x 16 picture in 16 colours.
QIcon applicationIcon();
