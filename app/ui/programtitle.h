// The title of the program's own message boxes and of its window: fixed, never the name the program was started
// under, which Qt would take for the application's name.
#pragma once

#include <QString>

namespace ui {

inline QString programTitle() { return QStringLiteral("Meterlane"); }

} // namespace ui
