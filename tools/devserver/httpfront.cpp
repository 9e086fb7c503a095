#include "httpfront.h"

#include <QDateTime>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QMetaEnum>
#include <QTcpSocket>
#include <QUrl>

#include <cstdio>

namespace devserver {

QString logSafe(const QByteArray &bytes, int limit) {
    QString out;
    for (qsizetype i = 0; i < bytes.size() && out.size() < limit; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x20 || c >= 0x7f || c == '\\')
            out += QStringLiteral("\\x%1").arg(c, 2, 16, QLatin1Char('0'));
        else
            out += QLatin1Char(char(c));
    }
    if (out.size() >= limit) out += QStringLiteral("...(%1 bytes)").arg(bytes.size());
    return out;
}

HttpFront::HttpFront(ServiceHandler &handler, Outage outage, QObject *parent)
    : QAbstractHttpServer(parent), handler_(handler), outage_(outage) {}

bool HttpFront::handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) {
    if (outage_ == Outage::Silent) return true; // the connection stays open, unanswered
    Request in;
    const QMetaEnum methods = QMetaEnum::fromType<QHttpServerRequest::Method>();
    const char *name = methods.valueToKey(int(request.method()));
    in.method = name ? QByteArray(name).toUpper() : QByteArray("UNKNOWN");
    const QUrl url = request.url();
    in.path = url.path(QUrl::FullyEncoded).toUtf8();
    in.query = url.query(QUrl::FullyEncoded).toUtf8();
    in.body = request.body();

    const Reply reply = outage_ == Outage::Unavailable
                            ? Reply{503, "text/plain; charset=utf-8", "service unavailable\n", QStringLiteral("outage")}
                            : handler_.handle(in);
    makeResponder(request, socket)
        .write(reply.body, reply.contentType, static_cast<QHttpServerResponder::StatusCode>(reply.status));

    // Concatenated, never formatted: the path, the query and the note carry "%" of their own.
    const QString line = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs) + u' ' +
                         request.remoteAddress().toString() + u' ' + QString::fromLatin1(in.method) + u' ' +
                         logSafe(in.path) + (in.query.isEmpty() ? QString() : u'?' + logSafe(in.query)) +
                         QStringLiteral(" -> ") + QString::number(reply.status) + u' ' +
                         reply.note.left(200).simplified() + u'\n';
    std::fputs(line.toUtf8().constData(), stderr);
    std::fflush(stderr);
    return true;
}

void HttpFront::missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) {
    makeResponder(request, socket).write(QByteArray("not found\n"), "text/plain; charset=utf-8",
                                         QHttpServerResponder::StatusCode::NotFound);
}

} // namespace devserver
