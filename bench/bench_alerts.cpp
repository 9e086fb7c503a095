// What a condition poll that raises 200 conditions at once sends: one message per channel, to a real mail server
// (aiosmtpd, STARTTLS and a login) and to a webhook receiver on loopback, and how long from the poll's hand-over
// until both have taken it; beside it, the same 200 raises sent as one message per printer, as they would go without
// the batching. bench/run calls it inside a network namespace of its own.
//   bench_alerts [MAIL_ADDRESS WEBHOOK_ADDRESS]   loopback addresses (default 127.0.0.74 and 127.0.0.75)
#include "alerts/alertoutbox.h"
#include "alerts/channel.h"
#include "store/conditionstate.h"
#include "store/globals.h"
#include "upload/alerting.h"

#include "support/certificates.h"
#include "support/mailserver.h"
#include "support/webhookreceiver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

constexpr int Printers = 200;

[[noreturn]] void fail(const QString &why) {
    std::fprintf(stderr, "bench_alerts: %s\n", qPrintable(why));
    std::exit(1);
}

// The site: 200 printers in the list, each with a jam just raised.
QList<store::ConditionChange> writeSite(const QTemporaryDir &program, store::ConditionStates &states) {
    QStringList ini{QStringLiteral("[General]"), QStringLiteral("ver=2.7.9"), QStringLiteral("[Pips]")};
    QList<store::ConditionChange> changes;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (int slot = 1; slot <= Printers; ++slot) {
        const QString host = QStringLiteral("127.0.3.%1").arg(slot); // named only, never asked
        ini << QStringLiteral("pip%1=%2").arg(slot, 3, 10, QLatin1Char('0')).arg(host);
        states.printer(host).model = QStringLiteral("ECOSYS M2540dn");
        states.printer(host).address = host;
        changes.append({host, {"jam", "jam", {}, "Paper jam", 3}, now, true});
    }
    QFile file(program.filePath(QStringLiteral("meterlane.ini")));
    if (!file.open(QIODevice::WriteOnly) || file.write(ini.join(QStringLiteral("\r\n")).toUtf8() + "\r\n") < 0)
        fail("cannot write the site's list");
    return changes;
}

// Milliseconds from now until both peers hold count messages more than they did.
qint64 untilTaken(const testsupport::SmtpServer &mail, const testsupport::WebhookReceiver &hook, qsizetype count) {
    const qsizetype mails = mail.messages().size(), posts = hook.requests().size();
    QElapsedTimer clock;
    clock.start();
    const bool taken = QTest::qWaitFor(
        [&] { return mail.messages().size() >= mails + count && hook.requests().size() >= posts + count; }, 600000);
    return taken ? clock.elapsed() : -1;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication application(argc, argv);
    const QString mailAddress = argc > 2 ? argv[1] : "127.0.0.74", hookAddress = argc > 2 ? argv[2] : "127.0.0.75";
    if (!mailAddress.startsWith("127.") || !hookAddress.startsWith("127.")) fail("the peers must be on loopback");
    QTemporaryDir program, records;
    const auto certificates = testsupport::makeCertificates(records.path(), mailAddress);
    testsupport::SmtpServer mail({.address = mailAddress, .records = records.path(),
                                  .certificate = certificates.certificate, .key = certificates.key,
                                  .user = "meterlane", .password = "bench words"});
    testsupport::WebhookReceiver hook(hookAddress);
    if (!certificates.made || !mail.listening() || !hook.listening()) fail("the peers did not start");
    store::setProgramFolder(program.path());
    QFile alerts(program.filePath(QStringLiteral("alerts.ini")));
    if (!alerts.open(QIODevice::WriteOnly) ||
        alerts.write("[Mail desk]\nServer=smtp://" + mailAddress.toUtf8() + ":2525\nUser=meterlane\n"
                     "Password=bench words\nFrom=meterlane@example.net\nTo=desk@example.net\nCAFile=" +
                     certificates.authority.toUtf8() + "\n[Webhook tickets]\nURL=" + hook.url().toEncoded() + "\n") < 0)
        fail("cannot write alerts.ini");
    alerts.close();
    alerts.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    store::ConditionStates states(program.path());
    const QList<store::ConditionChange> changes = writeSite(program, states);

    QElapsedTimer clock;
    clock.start();
    upload::alertConditionChanges(changes, states);
    const qint64 madeMs = clock.elapsed();
    const qint64 takenMs = untilTaken(mail, hook, 1) + madeMs;
    const qint64 mailBytes = mail.messages().value(0).data.size(), hookBytes = hook.requests().value(0).body.size();

    clock.restart();
    for (const store::ConditionChange &change : changes) upload::alertConditionChanges({change}, states);
    const qint64 onePerPrinterMs = untilTaken(mail, hook, Printers) + clock.elapsed();
    if (takenMs < madeMs || onePerPrinterMs < 0) fail("the messages were not taken");

    std::printf("200 conditions raised at once: %d mail and %d webhook message (mail %lld bytes, JSON %lld bytes)\n"
                "made and kept in the outbox: %lld ms; taken by both: %lld ms after the hand-over\n"
                "the same raises one message per printer: %lld ms until all 400 were taken (%.1fx)\n",
                int(mail.messages().size() - Printers), int(hook.requests().size() - Printers),
                static_cast<long long>(mailBytes), static_cast<long long>(hookBytes), static_cast<long long>(madeMs),
                static_cast<long long>(takenMs), static_cast<long long>(onePerPrinterMs),
                double(onePerPrinterMs) / double(std::max<qint64>(takenMs, 1)));
    return 0;
}
