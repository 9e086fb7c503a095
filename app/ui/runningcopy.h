// One desktop copy per program folder: the copy that holds the folder's lock listens on a local socket named after
// the folder, and a later start on the same folder asks it to bring its window to the front instead of running a
// second copy beside it.
#pragma once

#include <QString>

class QObject;

namespace ui {

class MainWindow;

// Asks the copy that holds folder to show its window; false when none answers (the holder is not a desktop copy, or
// it is still starting).
bool bringRunningCopyToFront(const QString &folder);

// Brings window to the front whenever a later copy started on folder asks; the listener lives as long as window.
void listenForLaterCopies(const QString &folder, MainWindow &window);

} // namespace ui
