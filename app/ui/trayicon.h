// The notification-area icon: keeps the notification record and applies it to a QSystemTrayIcon (tool tip, icon,
// balloon with its icon kind and time-out). Where the desktop has no system tray at the moment of a notice, the record
// is still kept and updated, a balloon goes to the desktop's notification service instead (its answer comes later),
// and the quiet toner indication and the tip's lines to the window's own icon and tool tip.
#pragma once

#include "platform/window.h"
#include "trayrecord.h"

#include <QHash>
#include <QIcon>
#include <QObject>
#include <QSystemTrayIcon>

#include <functional>

class QMenu;
class QWidget;

namespace ui {

class DesktopNotifier;

class TrayIcon : public QObject {
    Q_OBJECT

public:
    // Linux has UTF-16 text everywhere and every tray takes balloon messages.
    static constexpr bool IsNT = true;
    static constexpr bool Balloons = true;

    explicit TrayIcon(QWidget *window, QObject *parent = nullptr);

    // Fills the record for a new icon (window and icon handles, flags 7, callback 512, tip "Meterlane", version 3)
    // and shows the icon with that tip and picture.
    void create(const QIcon &windowIcon);

    // A balloon note at the icon: the record takes text, title, icon kind (0 none, 1 information, 2 warning,
    // 3 error) and time-out; the tray, or without one the desktop's notification service, shows what the record
    // then holds; balloonUnseen when no one did.
    void ShowBalloonTip(const QString &sMessage, const QString &sTitle, int eIcon, int lTimeOutMs);

    // A toner runs low: a balloon with the warning lines, or the quiet change of the icon to the alert picture and
    // of the tip to "Meterlane" + model + warning lines.
    void notifyTonerLow(bool showBalloon, const QString &model, const QString &description,
                        const QString &tonerWarning);

    // A printer's condition newly raised: a balloon with title and text, for 30 s as the toner's, its icon kind
    // by how much the condition asks of the user (error for critical, warning for a warning, else information).
    void notifyCondition(const QString &title, const QString &text, platform::Attention attention);

    // The picture the quiet toner indication shows (the alert icon); a null icon keeps the previous one.
    void setAlertIcon(const QIcon &icon);

    // A line shown after the record's tip, within the tip's length: the tip is cut first, the line kept. Empty: none.
    void setExtraTipLine(const QString &line);
    // A line shown last, after the extra line, only where the tip has room for it whole: the first thing a full tip
    // leaves out, never the cause of a cut in the others. Empty: none.
    void setLastTipLine(const QString &line);

    // The icon menu, opened by a right click on the icon.
    void setMenu(QMenu *mnu);

    const NotifyIconRecord &record() const { return record_; }
    // The picture a handle of the record stands for; a null icon for an unknown handle.
    QIcon iconOf(quint32 handle) const { return icons_.value(handle); }
    QSystemTrayIcon *trayIcon() const { return tray_; }

    // Whether the desktop has a notification area to show the icon in, asked at the moment: a tray may turn up after
    // a program started with the session.
    bool available() const;
    // Stands in for the desktop's answer (tests, screenshots).
    void setAvailability(std::function<bool()> available) { available_ = std::move(available); }

signals:
    // A left click on the icon: the window comes back.
    void restoreRequested();
    // A balloon reached no one: no tray, and no notification service showed it (told once its answer is in).
    void balloonUnseen(const QString &title);

private:
    quint32 handleOf(const QIcon &icon);
    void applyTipAndIcon();
    void showTip();
    QString shownTip() const; // the record's tip with the extra and the last line
    void showRecordedBalloon(); // shows the balloon the record holds

    QWidget *window_;
    std::function<bool()> available_ = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    QSystemTrayIcon *tray_;
    DesktopNotifier *notifier_;
    NotifyIconRecord record_;
    QHash<quint32, QIcon> icons_; // the pictures behind the record's 32-bit icon handles
    quint32 alertHandle_ = 0;
    QString extraTipLine_, lastTipLine_;
};

} // namespace ui
