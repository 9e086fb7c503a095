// The development service on the wire: takes every request from Qt's HTTP server, hands it to the handler, writes
// the reply and logs one line per request to stderr.
#pragma once

#include "servicehandler.h"

#include <QAbstractHttpServer>

namespace devserver {

class HttpFront : public QAbstractHttpServer {
public:
    explicit HttpFront(ServiceHandler &handler, QObject *parent = nullptr);

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;

private:
    ServiceHandler &handler_;
};

// A text made safe for one log line: control and non-ASCII characters escaped, cut to limit characters.
QString logSafe(const QByteArray &bytes, int limit = 160);

} // namespace devserver
