#include "consolewindow.h"

#include "store/config.h"
#include "store/globals.h"
#include "upload/cycle.h"
#include "upload/download.h"
#include "upload/outbox.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTextStream>
#include <QTimer>

#include <cstdio>
#include <utility>

#include <unistd.h>

namespace cli {

QString oneLine(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("; ")).replace(u'\n', QStringLiteral("; "));
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
        if (values.customerCode.isEmpty()) values.customerCode = store::vendorFileValue(QStringLiteral("CID"));
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

void ConsoleWindow::navigate(const QUrl &address, Answered answered) {
    QTextStream(stdout) << address.toEncoded() << "\n";
    if (address.isEmpty() || !address.isValid()) {
        const QString failure = QStringLiteral("no address to send to");
        requestFailed(address, failure);
        if (answered) answered(failure);
        return;
    }
    QNetworkReply *reply = upload::getWithinTimeLimit(*network(), address, upload::uploadTimeLimit());
    pending_.insert(reply, std::move(answered));
    QObject::connect(reply, &QNetworkReply::finished, reply, [this, reply] { finished(reply); });
}

void ConsoleWindow::finished(QNetworkReply *reply) {
    reply->deleteLater();
    if (!pending_.contains(reply)) return; // abandoned, and named, already
    const Answered answered = pending_.take(reply);
    const QString failure = upload::requestFailure(*reply, upload::uploadTimeLimit());
    if (!failure.isEmpty()) requestFailed(reply->request().url(), failure);
    if (answered) answered(failure);
}

void ConsoleWindow::requestFailed(const QUrl &address, const QString &reason) {
    ++failed_;
    QTextStream(stderr) << "request failed (" << reason << "): " << address.toEncoded() << "\n";
}

bool ConsoleWindow::waitForRequests() {
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (pending_.isEmpty()) loop.quit();
    });
    const std::chrono::milliseconds limit = upload::uploadTimeLimit();
    QTimer::singleShot(limit, &loop, &QEventLoop::quit);
    poll.start(20);
    if (!pending_.isEmpty()) loop.exec();
    const QString failure = QStringLiteral("no answer within %1 s").arg(double(limit.count()) / 1000);
    const auto abandoned = std::exchange(pending_, {});
    for (auto it = abandoned.begin(); it != abandoned.end(); ++it) {
        requestFailed(it.key()->request().url(), failure);
        it.key()->abort();
        if (it.value()) it.value()(failure);
    }
    const int lost = upload::unsavedReadings();
    if (lost > 0)
        QTextStream(stderr) << "meterlane-cli: " << lost << (lost == 1 ? " reading" : " readings")
                            << " lost: not stored in " << upload::outboxFile() << "\n";
    return lost == 0;
}

void ConsoleWindow::showWaitingReadings(int count) {
    count -= upload::unsavedReadings();
    if (count != std::exchange(waiting_, count))
        QTextStream(stderr) << (count == 0 ? QStringLiteral("no reading waiting to be sent")
                                           : upload::waitingReadingsLine(count))
                            << "\n";
}

void ConsoleWindow::notifyCondition(const QString &title, const QString &text, platform::Attention) {
    QTextStream(stderr) << title << ": " << text << "\n";
}

ConsoleWindow::~ConsoleWindow() { delete network_; }

} // namespace cli
