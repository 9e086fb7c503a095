#include "desktopnotification.h"

#include "trayrecord.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QVariantMap>

namespace ui {

using namespace Qt::StringLiterals;

namespace {

const QString AppName = u"Meterlane"_s;
const QString Service = u"org.freedesktop.Notifications"_s;
const QString ObjectPath = u"/org/freedesktop/Notifications"_s;
constexpr int AnswerLimitMs = 3000;

QString iconName(quint32 iconKind) {
    switch (iconKind) {
    case BalloonInformation: return u"dialog-information"_s;
    case BalloonWarning: return u"dialog-warning"_s;
    case BalloonError: return u"dialog-error"_s;
    default: return {};
    }
}

QDBusMessage call(const QString &method, const QVariantList &arguments = {}) {
    QDBusMessage message = QDBusMessage::createMethodCall(Service, ObjectPath, Service, method);
    message.setArguments(arguments);
    return QDBusConnection::sessionBus().call(message, QDBus::Block, AnswerLimitMs);
}

} // namespace

bool showDesktopNotification(const QString &title, const QString &text, quint32 iconKind, int timeOutMs) {
    const QDBusReply<QStringList> capabilities = call(u"GetCapabilities"_s);
    if (!capabilities.isValid()) return false;
    // A service that reads markup in the body would take "Yellow < 20%" for the start of a tag.
    QString body = QString(text).replace(u"\r\n"_s, u"\n"_s);
    if (capabilities.value().contains(u"body-markup"_s)) body = body.toHtmlEscaped();
    const QDBusMessage answer = call(u"Notify"_s, {AppName, 0u, iconName(iconKind), title, body, QStringList(),
                                                   QVariantMap(), timeOutMs});
    return answer.type() == QDBusMessage::ReplyMessage;
}

} // namespace ui
