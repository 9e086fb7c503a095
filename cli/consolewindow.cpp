#include "consolewindow.h"

#include "store/config.h"
#include "store/globals.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTextStream>
#include <QTimer>

#include <cstdio>

#include <unistd.h>

namespace cli {

QString oneLine(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\\n")).replace(u'\n', QStringLiteral("\\n"));
}

void ConsoleWindow::setStatus(const QString &text) {
    if (!text.trimmed().isEmpty()) QTextStream(stderr) << text << "\n";
}

void ConsoleWindow::notifyTonerLow(bool showBalloon, const QString &model, const QString &description,
                                   const QString &tonerWarning) {
    QTextStream(stderr) << (showBalloon ? "toner low (balloon): " : "toner low: ") << model << " (" << description
                        << "): " << oneLine(tonerWarning) << "\n";
}

void ConsoleWindow::promptCustomerCode() {
    store::Globals &values = store::globals();
    if (!isatty(STDIN_FILENO)) {
        values.customerCode = store::ReadIniValue(values.iniFile, QStringLiteral("Vendor"), QStringLiteral("CID"));
        return;
    }
    QTextStream(stderr) << "Customer code: " << Qt::flush;
    char line[256];
    if (!std::fgets(line, sizeof line, stdin)) return; // end of input: cancelled
    const QString code = QString::fromLocal8Bit(line).remove(u'\n').remove(u'\r');
    values.customerCode = code;
    store::WriteIniValue(values.iniFile, QStringLiteral("Vendor"), QStringLiteral("CID"), code);
}

QNetworkAccessManager *ConsoleWindow::network() {
    if (!network_) network_ = new QNetworkAccessManager;
    return network_;
}

void ConsoleWindow::navigate(const QUrl &address) {
    QTextStream(stdout) << address.toEncoded() << "\n";
    if (address.isEmpty() || !address.isValid()) return;
    ++pending_;
    QNetworkReply *reply = network()->get(QNetworkRequest(address));
    QObject::connect(reply, &QNetworkReply::finished, reply, [this, reply] {
        --pending_;
        reply->deleteLater();
    });
}

void ConsoleWindow::waitForRequests() {
    constexpr int TimeLimitMs = 15000;
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (pending_ <= 0) loop.quit();
    });
    QTimer::singleShot(TimeLimitMs, &loop, &QEventLoop::quit);
    poll.start(20);
    if (pending_ > 0) loop.exec();
}

ConsoleWindow::~ConsoleWindow() { delete network_; }

} // namespace cli
