// A notice through the desktop's notification service (org.freedesktop.Notifications on the session bus), for
// desktops without a notification area to show a balloon in. The call waits for the service's answer, a few
// seconds at most and without running other events, so that the caller knows whether anyone showed the notice.
#pragma once

#include <QString>

namespace ui {

// Shows title and text (lines separated by CR LF) with the picture of a balloon icon kind (1 information,
// 2 warning, 3 error, else none) for timeOutMs; false when no notification service answered.
bool showDesktopNotification(const QString &title, const QString &text, quint32 iconKind, int timeOutMs);

} // namespace ui
