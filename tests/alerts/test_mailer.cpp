// Mail out through a real SMTP server of the test's own (aiosmtpd): how each way a server, a connection or a setting
// can end a send is judged, and that what is taken arrives exactly as sent.
#include "alerts/mailer.h"
#include "support/certificates.h"
#include "support/mailserver.h"
#include "support/qtapplication.h"

#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <optional>

using alerts::Outcome;

namespace {

const QStringList Recipients = {"desk@example.com", "night@example.com"};
const QByteArray Message = "From: meterlane@example.com\r\nTo: desk@example.com\r\nSubject: Jam\r\n\r\n"
                           "Paper jam in tray 2.\r\n.A line that starts with a dot.\r\n";

// The test authority's certificate for the server's address, made once.
const testsupport::Certificates &certificates() {
    static const QTemporaryDir folder;
    static const testsupport::Certificates made = testsupport::makeCertificates(folder.path(), "127.0.0.25");
    return made;
}

// A server that requires STARTTLS and a login, recording into records.
testsupport::SmtpOptions serverOptions(const QTemporaryDir &records) {
    testsupport::SmtpOptions options;
    options.records = records.path();
    options.certificate = certificates().certificate;
    options.key = certificates().key;
    options.user = "alerts";
    options.password = "s3cret";
    return options;
}

// A client that logs in to it and trusts the test's authority.
alerts::MailServer client() {
    return {QUrl("smtp://127.0.0.25:2525"), "alerts", "s3cret", true, certificates().authority};
}

// Sends and waits for the outcome, which must come once, from the event loop and never within the call.
alerts::Delivery send(const alerts::MailServer &server) {
    int heard = 0;
    alerts::Delivery outcome;
    alerts::sendMail(server, "meterlane@example.com", Recipients, Message, [&](const alerts::Delivery &delivery) {
        ++heard;
        outcome = delivery;
    });
    EXPECT_EQ(heard, 0);
    EXPECT_EQ(alerts::mailsInFlight(), 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return heard > 0; }, 60000));
    QCoreApplication::processEvents();
    EXPECT_EQ(heard, 1);
    EXPECT_EQ(alerts::mailsInFlight(), 0);
    return outcome;
}

// Each row changes the server or the client. A recipient refused refuses the whole message: no recipient gets it.
TEST(Mailer, OutcomeOfEachWayASendEnds) {
    testsupport::ensureCoreApplication();
    ASSERT_TRUE(certificates().made);
    struct Case {
        const char *name;
        std::function<void(testsupport::SmtpOptions &)> server; // none: nothing listens
        std::function<void(alerts::MailServer &)> client;
        Outcome outcome;
        QString detail; // how it starts
    };
    const auto untouched = [](auto &) {};
    const std::vector<Case> cases = {
        {"login with LOGIN", [](auto &s) { s.onlyMechanism = "LOGIN"; }, untouched, Outcome::Accepted, ""},
        {"login with PLAIN", [](auto &s) { s.onlyMechanism = "PLAIN"; }, untouched, Outcome::Accepted, ""},
        {"wrong password", untouched, [](auto &c) { c.password = "wrong"; }, Outcome::ChannelFault,
         "login refused by the server (535)"},
        {"authority not trusted", untouched, [](auto &c) { c.caFile.clear(); }, Outcome::ChannelFault,
         "certificate not trusted: "},
        {"no verification", untouched, [](auto &c) { c.caFile.clear(); c.verify = false; }, Outcome::Accepted, ""},
        {"no STARTTLS offered", [](auto &s) { s.tls = "none"; }, untouched, Outcome::ChannelFault,
         "the server offers no STARTTLS"},
        {"smtps", [](auto &s) { s.tls = "implicit"; }, [](auto &c) { c.server.setScheme("smtps"); },
         Outcome::Accepted, ""},
        {"recipient refused", [](auto &s) { s.refuseRecipient = "night@example.com"; }, untouched, Outcome::Refused,
         "recipient refused (550)"},
        {"message refused", [](auto &s) { s.refuseMarker = "tray 2"; }, untouched, Outcome::Refused,
         "message refused (554)"},
        {"server down", nullptr, untouched, Outcome::Retry, "no connection: "},
        {"server silent", [](auto &s) { s.silent = true; }, [](auto &c) { c.timeLimit = std::chrono::seconds(1); },
         Outcome::Retry, "no answer within 1 s"},
        {"not a mail server", nullptr, [](auto &c) { c.server = QUrl("http://127.0.0.25:2525"); },
         Outcome::ChannelFault, "not an smtp:// or smtps:// server"},
    };
    for (const Case &each : cases) {
        SCOPED_TRACE(each.name);
        const QTemporaryDir records;
        testsupport::SmtpOptions options = serverOptions(records);
        std::optional<testsupport::SmtpServer> server;
        if (each.server) {
            each.server(options);
            server.emplace(options);
            ASSERT_TRUE(server->listening());
        }
        alerts::MailServer mailServer = client();
        each.client(mailServer);
        const alerts::Delivery delivery = send(mailServer);
        EXPECT_EQ(delivery.outcome, each.outcome) << delivery.detail.toStdString();
        EXPECT_TRUE(each.detail.isEmpty() ? delivery.detail.isEmpty() : delivery.detail.startsWith(each.detail))
            << delivery.detail.toStdString();
        if (!server) continue;
        const QList<testsupport::RecordedMail> mails = server->messages();
        ASSERT_EQ(mails.size(), each.outcome == Outcome::Accepted ? 1 : 0);
        if (!mails.isEmpty()) {
            EXPECT_EQ(mails[0].from, "meterlane@example.com");
            EXPECT_EQ(mails[0].to, Recipients);
            EXPECT_EQ(mails[0].data, Message);
        }
        if (options.tls == "none") {
            EXPECT_EQ(server->authAttempts(), ""); // the password never went out in clear
        }
    }
}

// The peer a later test stops for a while: back on its address, it records on after what it took before.
TEST(Mailer, ServerStartedAgainTakesMailOnItsAddress) {
    testsupport::ensureCoreApplication();
    ASSERT_TRUE(certificates().made);
    const QTemporaryDir records;
    testsupport::SmtpServer server(serverOptions(records));
    EXPECT_EQ(send(client()).outcome, Outcome::Accepted);
    server.stop();
    EXPECT_EQ(send(client()).outcome, Outcome::Retry);
    ASSERT_TRUE(server.start());
    EXPECT_EQ(send(client()).outcome, Outcome::Accepted);
    EXPECT_EQ(server.messages().size(), 2);
}

} // namespace
