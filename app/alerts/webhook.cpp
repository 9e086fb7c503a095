// Webhook posts through network managers of the alerts' own, made on first use and owned by the application so that
// they go before Qt Network does at exit: one for each way of trusting servers, as a manager keeps the TLS settings of
// its first connection to a server for every later post there.
#include "webhook.h"

#include <QCoreApplication>
#include <QHash>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTimer>

namespace alerts {

namespace {

int inFlight = 0;

QNetworkAccessManager &network(const WebhookTarget &target) {
    static QHash<QString, QPointer<QNetworkAccessManager>> managers;
    QPointer<QNetworkAccessManager> &manager = managers[target.verify ? target.caFile : QStringLiteral("\n")];
    if (!manager) manager = new QNetworkAccessManager(QCoreApplication::instance());
    return *manager;
}

// How much of a refusing server's answer the detail quotes.
constexpr qsizetype ReplyPiece = 100;

QString replyPiece(QNetworkReply &reply) {
    QString piece = QString::fromUtf8(reply.read(ReplyPiece * 4)).simplified();
    piece.removeIf([](QChar c) { return c.category() == QChar::Other_Control; });
    return piece.size() > ReplyPiece ? piece.left(ReplyPiece) + QStringLiteral("...") : piece;
}

QString httpStatus(QNetworkReply &reply, int status) {
    const QString reason = reply.attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString().simplified();
    QString line = QStringLiteral("HTTP %1").arg(status);
    if (!reason.isEmpty()) line += u' ' + reason;
    const QString piece = replyPiece(reply);
    return piece.isEmpty() ? line : line + QStringLiteral(": ") + piece;
}

Delivery deliveryOf(QNetworkReply &reply, std::chrono::milliseconds timeLimit) {
    const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status >= 200 && status < 300) return {Outcome::Accepted, {}};
    if (status >= 300 && status < 400) {
        const QString target = reply.header(QNetworkRequest::LocationHeader).toUrl().toString();
        return {Outcome::ChannelFault,
                QStringLiteral("HTTP %1: redirects to %2, not followed").arg(status).arg(target)};
    }
    if (status == 408 || status == 429 || status >= 500) return {Outcome::Retry, httpStatus(reply, status)};
    // A token or proxy login refused is the channel's own fault, as a mail login refused is: its messages wait.
    if (status == 401 || status == 403 || status == 407) return {Outcome::ChannelFault, httpStatus(reply, status)};
    if (status >= 400) return {Outcome::Refused, httpStatus(reply, status)};
    switch (reply.error()) {
    case QNetworkReply::OperationCanceledError: // the time limit aborts the request
    case QNetworkReply::TimeoutError:
        return {Outcome::Retry, QStringLiteral("no answer within %1 s").arg(double(timeLimit.count()) / 1000)};
    case QNetworkReply::SslHandshakeFailedError:
        return {Outcome::ChannelFault, QStringLiteral("TLS: %1").arg(reply.errorString())};
    default: return {Outcome::Retry, reply.errorString()};
    }
}

// The authorities to trust and whether to check at all; a CAFile without a certificate in it is the channel's fault.
std::optional<QSslConfiguration> sslConfiguration(const WebhookTarget &target, QString &fault) {
    QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
    if (!target.verify) ssl.setPeerVerifyMode(QSslSocket::VerifyNone);
    if (!target.caFile.isEmpty()) {
        const QList<QSslCertificate> authorities = QSslCertificate::fromPath(target.caFile, QSsl::Pem);
        if (authorities.isEmpty()) {
            fault = QStringLiteral("no certificate in CAFile %1").arg(target.caFile);
            return std::nullopt;
        }
        ssl.setCaCertificates(authorities);
    }
    return ssl;
}

// A channel that cannot post at all still answers from the event loop, as every post does.
void deliverLater(const Delivery &delivery, const Delivered &delivered) {
    ++inFlight;
    QTimer::singleShot(0, QCoreApplication::instance(), [delivery, delivered] {
        --inFlight;
        delivered(delivery);
    });
}

} // namespace

void postWebhook(const WebhookTarget &target, const QByteArray &body, Delivered delivered) {
    const QString scheme = target.url.scheme();
    if (!target.url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return deliverLater({Outcome::ChannelFault, QStringLiteral("not an http or https address: %1")
                                                        .arg(target.url.toDisplayString(QUrl::RemoveUserInfo))},
                            delivered);
    QNetworkRequest request(target.url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    for (const auto &[name, value] : target.headers) request.setRawHeader(name, value);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    if (scheme == QLatin1String("https")) {
        QString fault;
        const std::optional<QSslConfiguration> ssl = sslConfiguration(target, fault);
        if (!ssl) return deliverLater({Outcome::ChannelFault, fault}, delivered);
        request.setSslConfiguration(*ssl);
    }
    QNetworkReply *reply = network(target).post(request, body);
    ++inFlight;
    // The whole exchange within the time limit, as the uploads do: a server that trickles is no answer either.
    QTimer::singleShot(target.timeLimit, reply, &QNetworkReply::abort);
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, timeLimit = target.timeLimit, delivered] {
        reply->deleteLater();
        --inFlight;
        delivered(deliveryOf(*reply, timeLimit));
    });
}

int webhooksInFlight() { return inFlight; }

} // namespace alerts
