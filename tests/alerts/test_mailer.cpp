// Mail out through a real SMTP server of the test's own (aiosmtpd): what arrives, and how each way a server or a
// connection can end a send is judged.
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

const QByteArray Message = "From: meterlane@example.com\r\nTo: desk@example.com\r\nSubject: Jam\r\n\r\n"
                           "Paper jam in tray 2.\r\n.A line that starts with a dot.\r\n";

class Mailer : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        testsupport::ensureCoreApplication();
        folder_ = new QTemporaryDir;
        certificates_ = testsupport::makeCertificates(folder_->path(), "127.0.0.25");
    }
    static void TearDownTestSuite() { delete folder_; }

    void SetUp() override { ASSERT_TRUE(certificates_.made); }

    testsupport::SmtpOptions serverOptions() const {
        testsupport::SmtpOptions options;
        options.records = records_.path();
        options.certificate = certificates_.certificate;
        options.key = certificates_.key;
        options.user = "alerts";
        options.password = "s3cret";
        return options;
    }
    static alerts::MailServer client() {
        return {QUrl("smtp://127.0.0.25:2525"), "alerts", "s3cret", true, certificates_.authority};
    }

    // Sends and waits for the outcome, which must come once, from the event loop and never within the call.
    static alerts::Delivery send(const alerts::MailServer &server, const QStringList &to = {"desk@example.com"},
                                 const QByteArray &message = Message) {
        int heard = 0;
        alerts::Delivery outcome;
        alerts::sendMail(server, "meterlane@example.com", to, message, [&](const alerts::Delivery &delivery) {
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

    static inline QTemporaryDir *folder_ = nullptr;
    static inline testsupport::Certificates certificates_;
    QTemporaryDir records_;
};

TEST_F(Mailer, StartTlsLoginDeliversExactlyTheEnvelopeAndMessage) {
    for (const QString mechanism : {"LOGIN", "PLAIN"}) {
        SCOPED_TRACE(mechanism.toStdString());
        const QTemporaryDir records;
        testsupport::SmtpOptions options = serverOptions();
        options.records = records.path();
        options.onlyMechanism = mechanism;
        testsupport::SmtpServer server(options);
        ASSERT_TRUE(server.listening());
        const alerts::Delivery delivery = send(client(), {"desk@example.com", "night@example.com"});
        EXPECT_EQ(delivery.outcome, Outcome::Accepted) << delivery.detail.toStdString();
        const QList<testsupport::RecordedMail> mails = server.messages();
        ASSERT_EQ(mails.size(), 1);
        EXPECT_EQ(mails[0].from, "meterlane@example.com");
        EXPECT_EQ(mails[0].to, QStringList({"desk@example.com", "night@example.com"}));
        EXPECT_EQ(mails[0].data, Message);
        EXPECT_TRUE(server.authAttempts().startsWith("AUTH " + mechanism.toUtf8() + " tls=True"));
    }
}

// How each server, connection or setting ends a send; detail names what happened.
TEST_F(Mailer, OutcomeOfEachWayASendEnds) {
    struct Case {
        const char *name;
        std::function<void(testsupport::SmtpOptions &)> server; // none: no server listens
        std::function<void(alerts::MailServer &)> client;
        Outcome outcome;
        QString detail;
    };
    const auto untouched = [](auto &) {};
    const std::vector<Case> cases = {
        {"wrong password", untouched, [](auto &c) { c.password = "wrong"; }, Outcome::ChannelFault,
         "login refused by the server (535)"},
        {"authority not trusted", untouched, [](auto &c) { c.caFile.clear(); }, Outcome::ChannelFault,
         "certificate not trusted: "},
        {"no verification", untouched, [](auto &c) { c.caFile.clear(); c.verify = false; }, Outcome::Accepted, ""},
        {"no STARTTLS offered", [](auto &s) { s.tls = "none"; }, untouched, Outcome::ChannelFault,
         "the server offers no STARTTLS"},
        {"smtps", [](auto &s) { s.tls = "implicit"; }, [](auto &c) { c.server.setScheme("smtps"); },
         Outcome::Accepted, ""},
        {"recipient refused", [](auto &s) { s.refuseRecipient = "desk@example.com"; }, untouched, Outcome::Refused,
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
        testsupport::SmtpOptions options = serverOptions();
        options.records = records.path();
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
        EXPECT_FALSE(delivery.detail.contains("s3cret"));
        if (server) {
            EXPECT_EQ(server->messages().size(), each.outcome == Outcome::Accepted ? 1 : 0);
            if (options.tls == "none") {
                EXPECT_EQ(server->authAttempts(), "");
            }
        }
    }
}

TEST_F(Mailer, ServerBackOnItsAddressTakesTheMessage) {
    testsupport::SmtpServer server(serverOptions());
    server.stop();
    EXPECT_EQ(send(client()).outcome, Outcome::Retry);
    ASSERT_TRUE(server.start());
    EXPECT_EQ(send(client()).outcome, Outcome::Accepted);
    EXPECT_EQ(server.messages().size(), 1);
}

} // namespace
