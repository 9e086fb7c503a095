#include "trayicon.h"

#include "desktopnotification.h"

#include <QWidget>

namespace ui {

namespace {

QSystemTrayIcon::MessageIcon messageIconOf(quint32 eIcon) {
    switch (eIcon) {
    case BalloonInformation: return QSystemTrayIcon::Information;
    case BalloonWarning: return QSystemTrayIcon::Warning;
    case BalloonError: return QSystemTrayIcon::Critical;
    default: return QSystemTrayIcon::NoIcon;
    }
}

} // namespace

TrayIcon::TrayIcon(QWidget *window, QObject *parent)
    : QObject(parent), window_(window), tray_(new QSystemTrayIcon(this)), notifier_(new DesktopNotifier(this)) {
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger) emit restoreRequested();
    });
    connect(notifier_, &DesktopNotifier::unseen, this, &TrayIcon::balloonUnseen);
}

bool TrayIcon::available() const { return available_(); }

quint32 TrayIcon::handleOf(const QIcon &icon) {
    if (icon.isNull()) return 0;
    for (auto it = icons_.cbegin(); it != icons_.cend(); ++it)
        if (it.value().cacheKey() == icon.cacheKey()) return it.key();
    const quint32 handle = static_cast<quint32>(icons_.size()) + 1;
    icons_.insert(handle, icon);
    return handle;
}

void TrayIcon::create(const QIcon &windowIcon) {
    const quint32 windowHandle = window_ ? static_cast<quint32>(window_->winId()) : 0;
    CreateIconRecord(record_, windowHandle, handleOf(windowIcon), Balloons);
    applyTipAndIcon();
    // Shown even without a tray now: Qt puts the icon in place once a tray turns up.
    tray_->show();
}

QString TrayIcon::shownTip() const {
    const QString tip = tipText(record_);
    if (extraTipLine_.isEmpty()) return tip;
    qsizetype room = std::max<qsizetype>(0, TipUnits - 1 - extraTipLine_.size() - 1); // and the line break
    if (room > 0 && room < tip.size() && tip[room - 1].isHighSurrogate()) --room;
    return tip.left(room) + u'\n' + extraTipLine_;
}

void TrayIcon::applyTipAndIcon() {
    tray_->setToolTip(shownTip());
    tray_->setIcon(iconOf(record_.hIcon));
}

void TrayIcon::setExtraTipLine(const QString &line) {
    extraTipLine_ = line;
    tray_->setToolTip(shownTip());
}

void TrayIcon::ShowBalloonTip(const QString &sMessage, const QString &sTitle, int eIcon, int lTimeOutMs) {
    ui::ShowBalloonTip(record_, Balloons, sMessage, sTitle, static_cast<quint32>(eIcon), lTimeOutMs);
    showRecordedBalloon();
}

void TrayIcon::showRecordedBalloon() {
    if (!Balloons) return;
    const QString title = infoTitleText(record_), text = infoText(record_);
    const int timeOut = static_cast<int>(record_.uTimeoutOrVersion);
    if (available())
        tray_->showMessage(title, text, messageIconOf(record_.dwInfoFlags), timeOut);
    else
        notifier_->show(title, text, record_.dwInfoFlags, timeOut);
}

void TrayIcon::notifyTonerLow(bool showBalloon, const QString &model, const QString &description,
                              const QString &tonerWarning) {
    if (showBalloon) {
        ShowTonerBalloon(record_, Balloons, model, description, tonerWarning);
        showRecordedBalloon();
        return;
    }
    // The tip and the picture change whatever flags the record holds: a balloon shown earlier must not keep the
    // icon from turning to the alert picture.
    ShowTonerQuietly(record_, Balloons, model, tonerWarning, alertHandle_);
    applyTipAndIcon();
    if (!available() && window_) {
        window_->setWindowIcon(iconOf(record_.hIcon));
        window_->setToolTip(shownTip());
    }
}

void TrayIcon::setAlertIcon(const QIcon &icon) {
    if (!icon.isNull()) alertHandle_ = handleOf(icon);
}

void TrayIcon::setMenu(QMenu *mnu) { tray_->setContextMenu(mnu); }

} // namespace ui
