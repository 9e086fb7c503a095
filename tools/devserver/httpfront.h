// The development service on the wire: takes every request from Qt's HTTP server, hands it to the handler, writes
// the reply and logs one line per request to stderr.
#pragma once

#include "servicehandler.h"

#include <QAbstractHttpServer>

namespace devserver {

class HttpFront : public QAbstractHttpServer {
public:
    // How the service fails while it is "down": not at all, every request answered 503, or every connection taken
    // and never answered.
    enum class Outage { None, Unavailable, Silent };

    explicit HttpFront(ServiceHandler &handler, Outage outage = Outage::None, QObject *parent = nullptr);

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;

private:
    ServiceHandler &handler_;
    Outage outage_;
};

// A text made safe for one log line: control and non-ASCII characters escaped, cut to limit characters.
QString logSafe(const QByteArray &bytes, int limit = 160);

} // namespace devserver
