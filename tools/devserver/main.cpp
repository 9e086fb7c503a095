// yonderlook-devserver: the development service on a loopback address.
//   yonderlook-devserver --listen 127.0.0.1:PORT --db FILE [--customer CODE=HOST§DESC,HOST§DESC ...]
//                        [--outage 503|silent]
// PORT 0 picks a free port; the line "listening on http://127.0.0.1:PORT" on stderr names it.
#include "httpfront.h"
#include "servicehandler.h"
#include "servicestore.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostAddress>

#include <cstdio>

namespace {

int fail(const QString &message) {
    std::fprintf(stderr, "yonderlook-devserver: %s\n", message.toUtf8().constData());
    return 2;
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("yonderlook-devserver"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Development service: takes the program's counter uploads, "
                                                    "announcements and portal requests, and serves printer lists."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("listen"), QStringLiteral("Loopback address and port to listen on."),
                      QStringLiteral("127.0.0.1:PORT")});
    parser.addOption({QStringLiteral("db"), QStringLiteral("SQLite file (created when missing)."),
                      QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("customer"),
                      QStringLiteral("Set a customer's printer list (repeatable); records separated by \",\"."),
                      QStringLiteral("CODE=HOST\u00a7DESC,HOST\u00a7DESC")});
    parser.addOption({QStringLiteral("outage"),
                      QStringLiteral("Be down: answer every request with 503, or take every connection and never "
                                     "answer (silent)."),
                      QStringLiteral("503|silent")});
    parser.process(app);

    if (!parser.isSet(QStringLiteral("listen")) || !parser.isSet(QStringLiteral("db")))
        return fail(QStringLiteral("--listen 127.0.0.1:PORT and --db FILE are required"));
    const QString listen = parser.value(QStringLiteral("listen"));
    const qsizetype colon = listen.lastIndexOf(QLatin1Char(':'));
    const QHostAddress address(listen.left(colon));
    bool portOk = false;
    const uint port = listen.mid(colon + 1).toUInt(&portOk);
    if (colon < 0 || address.isNull() || !portOk || port > 65535)
        return fail(QStringLiteral("bad --listen value: ") + listen);
    if (!address.isLoopback()) return fail(QStringLiteral("refusing to listen on a non-loopback address"));

    devserver::ServiceStore store;
    QString error;
    if (!store.open(parser.value(QStringLiteral("db")), &error)) return fail(QStringLiteral("database: ") + error);
    for (const QString &spec : parser.values(QStringLiteral("customer"))) {
        const qsizetype equals = spec.indexOf(QLatin1Char('='));
        if (equals <= 0) return fail(QStringLiteral("bad --customer value: ") + spec);
        if (!store.setCustomer(spec.left(equals), devserver::parsePrinterList(spec.mid(equals + 1), QLatin1Char(',')),
                               &error))
            return fail(QStringLiteral("database: ") + error);
    }

    using Outage = devserver::HttpFront::Outage;
    const QString outageName = parser.value(QStringLiteral("outage"));
    const Outage outage = outageName == QLatin1String("503")      ? Outage::Unavailable
                          : outageName == QLatin1String("silent") ? Outage::Silent
                                                                  : Outage::None;
    if (!outageName.isEmpty() && outage == Outage::None) return fail(QStringLiteral("bad --outage value: ") + outageName);

    devserver::ServiceHandler handler(store);
    devserver::HttpFront front(handler, outage);
    const quint16 bound = front.listen(address, quint16(port));
    if (bound == 0) return fail(QStringLiteral("cannot listen on ") + listen);
    std::fprintf(stderr, "listening on http://%s:%u\n", address.toString().toUtf8().constData(), unsigned(bound));
    std::fflush(stderr);
    return app.exec();
}
