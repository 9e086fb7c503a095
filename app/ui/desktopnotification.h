// Notices through the desktop's notification service (org.freedesktop.Notifications on the session bus), for
// desktops without a notification area to show a balloon in. Nothing here waits for the service: every call is
// answered later on the event loop, so a slow or hung service never holds the window. The service's capabilities are
// asked once (again only after no service answered). A notice replaces the last one of the same title (a printer's
// note of the previous cycle) instead of piling up; one that comes while its title's previous call is still
// unanswered waits for that answer, which gives the number to replace.
#pragma once

#include <QHash>
#include <QObject>
#include <QString>

#include <optional>

namespace ui {

class DesktopNotifier : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Shows title and text (lines separated by CR LF) with the picture of a balloon icon kind (1 information,
    // 2 warning, 3 error, else none) for timeOutMs, in place of the last notice of the same title.
    void show(const QString &title, const QString &text, quint32 iconKind, int timeOutMs);

signals:
    // No notification service showed the notice of this title: none answered, or it refused the notice.
    void unseen(const QString &title);

private:
    struct Notice {
        QString text;
        quint32 iconKind;
        int timeOutMs;
    };
    struct Shown {
        quint32 id = 0;         // the service's number for the title's last notice; 0: none yet
        bool answerDue = false; // a call for the title awaits its answer
        std::optional<Notice> waiting;
    };
    enum class Capabilities { Unknown, Asked, Known };

    void askCapabilities();
    void sendWaiting(const QString &title); // unless the title's last call still awaits its answer

    Capabilities capabilities_ = Capabilities::Unknown;
    bool bodyMarkup_ = false;
    QHash<QString, Shown> shown_; // by title
};

} // namespace ui
