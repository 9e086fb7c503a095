#include "desktopnotification.h"

#include "programtitle.h"
#include "trayrecord.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

#include <utility>

namespace ui {

using namespace Qt::StringLiterals;

namespace {

const QString Service = u"org.freedesktop.Notifications"_s;
const QString ObjectPath = u"/org/freedesktop/Notifications"_s;
const QString DesktopEntry = u"meterlane"_s; // the program's desktop entry, meterlane.desktop
// A service that has not answered by then showed nothing: the caller falls back.
constexpr int AnswerLimitMs = 3000;

QString iconName(quint32 iconKind) {
    switch (iconKind) {
    case BalloonInformation: return u"dialog-information"_s;
    case BalloonWarning: return u"dialog-warning"_s;
    case BalloonError: return u"dialog-error"_s;
    default: return {};
    }
}

// Calls method without waiting; answered gets the answer, or the failure, on owner's thread while owner lives.
template <typename Answered>
void callLater(QObject *owner, const QString &method, const QVariantList &arguments, Answered answered) {
    QDBusMessage message = QDBusMessage::createMethodCall(Service, ObjectPath, Service, method);
    message.setArguments(arguments);
    auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(message, AnswerLimitMs), owner);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, owner, [watcher, answered] {
        watcher->deleteLater();
        answered(*watcher);
    });
}

} // namespace

void DesktopNotifier::show(const QString &title, const QString &text, quint32 iconKind, int timeOutMs) {
    shown_[title].waiting = Notice{text, iconKind, timeOutMs}; // a newer notice takes an older one's place
    if (capabilities_ == Capabilities::Unknown) askCapabilities();
    else if (capabilities_ == Capabilities::Known) sendWaiting(title);
}

void DesktopNotifier::askCapabilities() {
    capabilities_ = Capabilities::Asked;
    callLater(this, u"GetCapabilities"_s, {}, [this](const QDBusPendingCall &answer) {
        const QDBusPendingReply<QStringList> capabilities = answer;
        if (capabilities.isError()) {
            // No service now; the next notice asks again, as one may have started since.
            capabilities_ = Capabilities::Unknown;
            QStringList unshown;
            for (auto it = shown_.begin(); it != shown_.end(); ++it)
                if (std::exchange(it->waiting, std::nullopt)) unshown << it.key();
            for (const QString &title : unshown) emit unseen(title);
            return;
        }
        // A service that reads markup in the body would take "Yellow < 20%" for the start of a tag.
        bodyMarkup_ = capabilities.value().contains(u"body-markup"_s);
        capabilities_ = Capabilities::Known;
        for (const QString &title : shown_.keys()) sendWaiting(title);
    });
}

void DesktopNotifier::sendWaiting(const QString &title) {
    Shown &shown = shown_[title];
    if (shown.answerDue || !shown.waiting) return;
    const Notice notice = *std::exchange(shown.waiting, std::nullopt);
    shown.answerDue = true;
    QString body = QString(notice.text).replace(u"\r\n"_s, u"\n"_s);
    if (bodyMarkup_) body = body.toHtmlEscaped();
    const QVariantMap hints{{u"desktop-entry"_s, DesktopEntry}};
    const QVariantList arguments{programTitle(), shown.id, iconName(notice.iconKind), title, body, QStringList(),
                                 hints, notice.timeOutMs};
    callLater(this, u"Notify"_s, arguments, [this, title](const QDBusPendingCall &answer) {
        const QDBusPendingReply<quint32> id = answer;
        Shown &answered = shown_[title];
        answered.answerDue = false;
        if (!id.isError()) answered.id = id.value();
        sendWaiting(title);
        if (id.isError()) emit unseen(title);
    });
}

} // namespace ui
