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

BalloonIcon balloonIconOf(platform::Attention attention) {
    switch (attention) {
    case platform::Attention::Critical: return BalloonError;
    case platform::Attention::Warning: return BalloonWarning;
    default: return BalloonInformation;
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
    constexpr qsizetype longest = TipUnits - 1;
    QString tip = tipText(record_);
    if (!extraTipLine_.isEmpty()) {
        qsizetype room = std::max<qsizetype>(0, longest - extraTipLine_.size() - 1); // and the line break
        if (room > 0 && room < tip.size() && tip[room - 1].isHighSurrogate()) --room;
        tip = tip.left(room) + u'\n' + extraTipLine_;
    }
    if (!lastTipLine_.isEmpty() && tip.size() + 1 + lastTipLine_.size() <= longest) tip += u'\n' + lastTipLine_;
    return tip;
}

void TrayIcon::showTip() {
    const QString tip = shownTip();
    tray_->setToolTip(tip);
    // Without a notification area the window's own tip stands in for the icon's, once it says more than the name.
    if (!available() && window_) window_->setToolTip(tip == TrayTip ? QString() : tip);
}

void TrayIcon::applyTipAndIcon() {
    showTip();
    tray_->setIcon(iconOf(record_.hIcon));
}

void TrayIcon::setExtraTipLine(const QString &line) {
    extraTipLine_ = line;
    showTip();
}

void TrayIcon::setLastTipLine(const QString &line) {
    lastTipLine_ = line;
    showTip();
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
    if (!available() && window_) window_->setWindowIcon(iconOf(record_.hIcon));
}

void TrayIcon::notifyCondition(const QString &title, const QString &text, platform::Attention attention) {
    ShowBalloonTip(text, title, balloonIconOf(attention), BalloonTimeOutMs);
}

void TrayIcon::setAlertIcon(const QIcon &icon) {
    if (!icon.isNull()) alertHandle_ = handleOf(icon);
}

void TrayIcon::setMenu(QMenu *mnu) { tray_->setContextMenu(mnu); }

} // namespace ui
