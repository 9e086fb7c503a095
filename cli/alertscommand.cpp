// meterlane-cli alerts: the mail and webhook channels of alerts.ini and the messages waiting for them, a test message
// through each channel, and a way to send what waits now.
#include "commands.h"
#include "consolewindow.h"

#include "alerts/alertoutbox.h"
#include "alerts/channel.h"
#include "reading/conditions.h"
#include "store/alertsettings.h"
#include "upload/alerting.h"

#include <QDateTime>
#include <QEventLoop>
#include <QTextStream>
#include <QTimer>

namespace cli {
namespace {

// What a channel takes, in words: "warning and up, clears, hosts 127.0.0.0/8, summary at 07:30".
QString rulesOf(const alerts::Channel &channel) {
    using reading::conditions::Severity;
    QStringList rules{reading::conditions::severityName(Severity(channel.minimumSeverity)) + QStringLiteral(" and up")};
    if (!channel.kinds.isEmpty()) rules << QStringLiteral("kinds ") + channel.kinds.join(u' ');
    if (!channel.skipKinds.isEmpty()) rules << QStringLiteral("not ") + channel.skipKinds.join(u' ');
    if (!channel.hosts.isEmpty()) rules << QStringLiteral("hosts ") + channel.hosts;
    rules << (channel.clears ? QStringLiteral("clears") : QStringLiteral("no clears"));
    if (channel.summaryAt) rules << QStringLiteral("summary at ") + channel.summaryAt->toString(QStringLiteral("HH:mm"));
    if (!channel.mail.verify) rules << QStringLiteral("certificate not checked");
    return rules.join(QStringLiteral(", "));
}

int list() {
    const alerts::Channels known = alerts::channels();
    QString failure;
    const auto outbox = alerts::readAlertOutbox(&failure);
    QTextStream out(stdout);
    if (known.channels.isEmpty()) out << "no mail or webhook channel in alerts.ini\n";
    for (const alerts::Channel &channel : known.channels) {
        out << channel.title() << '\t' << channel.target() << '\t' << rulesOf(channel) << "\n";
        if (outbox && outbox->faults.contains(channel.name))
            out << "  failing: " << outbox->faults[channel.name] << "\n";
    }
    if (!outbox) {
        QTextStream(stderr) << "meterlane-cli: " << failure << "\n";
        return ExitFailed;
    }
    for (const alerts::WaitingMessage &message : outbox->messages)
        out << "waiting\t" << message.channel << '\t' << message.created.toString(Qt::ISODate) << '\t'
            << message.tries << (message.tries == 1 ? " try" : " tries") << '\t' << message.subject << '\t'
            << message.lastFailure << "\n";
    return ExitOk;
}

// Runs the event loop until done() holds.
void waitUntil(const std::function<bool()> &done) {
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done()) loop.quit();
    });
    check.start(20);
    if (!done()) loop.exec();
}

// A test message through each channel (or the one named), each outcome on a line; ExitOk when every one took it.
int test(const QString &only) {
    const alerts::Channels known = alerts::channels();
    QList<alerts::Channel> chosen;
    for (const alerts::Channel &channel : known.channels)
        if (only.isEmpty() || channel.name.compare(only, Qt::CaseInsensitive) == 0) chosen << channel;
    if (chosen.isEmpty())
        return only.isEmpty() ? (QTextStream(stderr) << "meterlane-cli: no mail or webhook channel in alerts.ini\n",
                                 ExitFailed)
                              : usageError(QStringLiteral("no channel %1 in alerts.ini").arg(only));
    int answered = 0, taken = 0;
    for (const alerts::Channel &channel : chosen) {
        const alerts::Content content{alerts::MessageType::Test, upload::thisSite(), channel.name, {}, {}};
        channel.send(channel.write(alerts::newMessageId(), QDateTime::currentDateTimeUtc(), content), [&, title = channel.title()](const alerts::Delivery &delivery) {
            ++answered;
            const bool took = delivery.outcome == alerts::Outcome::Accepted;
            taken += took ? 1 : 0;
            (took ? QTextStream(stdout) : QTextStream(stderr))
                << title << ": " << (took ? QStringLiteral("taken") : QStringLiteral("not taken: ") + delivery.detail)
                << "\n";
        });
    }
    waitUntil([&] { return answered == chosen.size(); });
    return taken == chosen.size() ? ExitOk : ExitFailed;
}

// Sends every waiting message now; ExitOk when none is left waiting.
int sendNow() {
    if (!lockProgramFolder()) return ExitFailed;
    ConsoleWindow console;
    platform::setWindow(&console);
    QString failure; // said on standard error through the status line
    upload::sendWaitingAlerts(false, &failure);
    waitUntil([] { return alerts::messagesInFlight() == 0; });
    platform::setWindow(nullptr);
    const auto outbox = alerts::readAlertOutbox();
    return failure.isEmpty() && outbox && outbox->messages.isEmpty() ? ExitOk : ExitFailed;
}

} // namespace

int alertsCommand(const QStringList &args) {
    QCommandLineParser parser;
    const QCommandLineOption send(QStringLiteral("send"));
    parser.addOptions({folderOption(), send});
    if (!parseArguments(parser, QStringLiteral("alerts"), args)) return ExitUsage;
    QStringList words = parser.positionalArguments();
    const bool testing = !words.isEmpty() && words.first() == u"test";
    if (testing) words.removeFirst();
    if ((!testing && !words.isEmpty()) || words.size() > 1 || (testing && parser.isSet(send)))
        return usageError(QStringLiteral("alerts takes [test [CHANNEL] | --send] [--folder DIR]"));
    if (!useProgramFolder(parser)) return ExitFailed;
    store::alertSettings(); // says its problems on standard error, once
    if (testing) return test(words.value(0));
    return parser.isSet(send) ? sendNow() : list();
}

} // namespace cli
