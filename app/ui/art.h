// The program's own pictures, SVG in the resources under ":/art/". They live in a static library, so they are
// registered on first use through icon() or registerResources().
#pragma once

#include <QIcon>
#include <QString>
#include <QStringList>

namespace ui::art {

inline const QString Window = QStringLiteral(":/art/window.svg");       // window and notification icon
inline const QString Alert = QStringLiteral(":/art/alert.svg");         // notification icon with a toner warning
inline const QString Pip = QStringLiteral(":/art/pip.svg");             // lvPips image 1: a printer
inline const QString PipToner = QStringLiteral(":/art/piptoner.svg");   // lvPips image 3: toner warning
inline const QString HostAnswered = QStringLiteral(":/art/host-answered.svg"); // LV_IPs image 1
inline const QString HostSilent = QStringLiteral(":/art/host-silent.svg");     // LV_IPs image 2
inline const QString HostChanged = QStringLiteral(":/art/host-changed.svg");   // LV_IPs image 3
inline const QString Export = QStringLiteral(":/art/export.svg");       // cmdExport
inline const QString Web = QStringLiteral(":/art/web.svg");             // cmdWeb
inline const QString Toggle = QStringLiteral(":/art/toggle.svg");       // cmdTest
inline const QString InTray = QStringLiteral(":/art/intray.svg");       // cmdInTray
inline const QString Search = QStringLiteral(":/art/search.svg");       // picIco, "Search Device"
inline const QString Logo = QStringLiteral(":/art/logo.svg");           // the about box's Image1

// Every picture above, for checks and previews.
inline const QStringList All = {Window, Alert, Pip, PipToner, HostAnswered, HostSilent, HostChanged,
                                Export, Web, Toggle, InTray, Search, Logo};

// Makes the pictures reachable under ":/art/"; safe to call any number of times.
void registerResources();

// The picture at path as an icon, drawn sharp at any size.
QIcon icon(const QString &path);

} // namespace ui::art
