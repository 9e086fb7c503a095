// A webhook receiver as a test peer: HTTP (or HTTPS on certificates the test made) on a loopback address, in the
// test's own event loop. It records every request and answers each with the next status the test queued (then 200),
// a redirect where one was queued, or nothing at all while it is told to stay silent.
#pragma once

#include "certificates.h"

#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QSslKey>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

#include <memory>

namespace testsupport {

struct ReceivedRequest {
    QByteArray method, path, body;
    QMap<QByteArray, QByteArray> headers; // names in lower case
};

class WebhookReceiver {
public:
    // tls: serve HTTPS with that certificate and key.
    explicit WebhookReceiver(const QString &address = QStringLiteral("127.0.0.1"), quint16 port = 0,
                             const Certificates *tls = nullptr) {
        if (tls) {
            auto server = std::make_unique<QSslServer>();
            QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
            ssl.setLocalCertificateChain(QSslCertificate::fromPath(tls->certificate));
            QFile key(tls->key);
            if (key.open(QIODevice::ReadOnly)) ssl.setPrivateKey(QSslKey(&key, QSsl::Rsa));
            ssl.setPeerVerifyMode(QSslSocket::VerifyNone);
            server->setSslConfiguration(ssl);
            server_ = std::move(server);
        } else {
            server_ = std::make_unique<QTcpServer>();
        }
        scheme_ = tls ? "https" : "http";
        QObject::connect(server_.get(), &QTcpServer::pendingConnectionAvailable, server_.get(), [this] {
            while (QTcpSocket *socket = server_->nextPendingConnection()) serve(socket);
        });
        server_->listen(QHostAddress(address), port);
    }

    bool listening() const { return server_->isListening(); }
    QUrl url(const QString &path = QStringLiteral("/hook")) const {
        return QUrl(QStringLiteral("%1://%2:%3%4")
                        .arg(scheme_, server_->serverAddress().toString())
                        .arg(server_->serverPort())
                        .arg(path));
    }
    // The next requests' statuses, in order; a location makes it a redirect there.
    void queue(int status, const QUrl &location = {}) { answers_.append({status, location}); }
    void setSilent(bool silent) { silent_ = silent; }
    const QList<ReceivedRequest> &requests() const { return requests_; }

private:
    struct Answer {
        int status = 200;
        QUrl location;
    };

    void serve(QTcpSocket *socket) {
        socket->setParent(server_.get());
        auto buffer = std::make_shared<QByteArray>();
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
            *buffer += socket->readAll();
            ReceivedRequest request;
            if (!parse(*buffer, request)) return;
            buffer->clear();
            requests_.append(request);
            if (!silent_) answer(socket);
        });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }

    // A whole request: the header block and as many bytes as its Content-Length names.
    static bool parse(const QByteArray &data, ReceivedRequest &request) {
        const qsizetype end = data.indexOf("\r\n\r\n");
        if (end < 0) return false;
        const QList<QByteArray> lines = data.left(end).split('\n');
        const QList<QByteArray> start = lines.front().trimmed().split(' ');
        request.method = start.value(0);
        request.path = start.value(1);
        for (const QByteArray &line : lines.mid(1)) {
            const qsizetype colon = line.indexOf(':');
            if (colon > 0) request.headers[line.left(colon).trimmed().toLower()] = line.mid(colon + 1).trimmed();
        }
        const qsizetype length = request.headers.value("content-length").toLongLong();
        if (data.size() < end + 4 + length) return false;
        request.body = data.mid(end + 4, length);
        return true;
    }

    void answer(QTcpSocket *socket) {
        const Answer next = answers_.isEmpty() ? Answer{} : answers_.takeFirst();
        const QByteArray body = "answered " + QByteArray::number(next.status);
        QByteArray reply = "HTTP/1.1 " + QByteArray::number(next.status) + " Receiver\r\nContent-Type: text/plain\r\n" +
                           "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n";
        if (next.location.isValid()) reply += "Location: " + next.location.toEncoded() + "\r\n";
        socket->write(reply + "\r\n" + body);
        socket->disconnectFromHost();
    }

    std::unique_ptr<QTcpServer> server_;
    QString scheme_;
    QList<Answer> answers_;
    QList<ReceivedRequest> requests_;
    bool silent_ = false;
};

} // namespace testsupport
