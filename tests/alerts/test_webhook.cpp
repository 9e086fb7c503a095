// Webhook posts against a receiver of the test's own: what each answer means for the message, what is sent, and
// which certificates are trusted.
#include "alerts/webhook.h"
#include "support/qtapplication.h"
#include "support/webhookreceiver.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QTest>

using namespace alerts;
using testsupport::WebhookReceiver;

namespace {

const QByteArray Body = R"({"id":"id-1","type":"test"})";

} // namespace

class Webhook : public ::testing::Test {
protected:
    void SetUp() override { testsupport::ensureCoreApplication(); }

    // Posts and waits for the one outcome; a second one would fail the test.
    static Delivery post(const WebhookTarget &target) {
        int heard = 0;
        Delivery outcome;
        postWebhook(target, Body, [&](const Delivery &delivery) {
            ++heard;
            outcome = delivery;
        });
        EXPECT_EQ(webhooksInFlight(), 1);
        EXPECT_TRUE(QTest::qWaitFor([&] { return heard > 0; }, 20000));
        QCoreApplication::processEvents();
        EXPECT_EQ(heard, 1);
        EXPECT_EQ(webhooksInFlight(), 0);
        return outcome;
    }
};

TEST_F(Webhook, TheAnswersStatusDecidesWhatBecomesOfTheMessage) {
    const struct {
        int status;
        Outcome outcome;
        const char *detail;
    } cases[] = {{200, Outcome::Accepted, ""},        {204, Outcome::Accepted, ""},
                 {500, Outcome::Retry, "HTTP 500"},   {503, Outcome::Retry, "answered 503"},
                 {429, Outcome::Retry, "HTTP 429"},   {408, Outcome::Retry, "HTTP 408"},
                 {400, Outcome::Refused, "HTTP 400"}, {404, Outcome::Refused, "answered 404"},
                 {401, Outcome::ChannelFault, "HTTP 401"},
                 {302, Outcome::ChannelFault, "redirects to http://127.0.0.1"}};
    for (const auto &c : cases) {
        WebhookReceiver receiver;
        ASSERT_TRUE(receiver.listening());
        receiver.queue(c.status, c.status == 302 ? receiver.url("/elsewhere") : QUrl());
        const Delivery delivery = post({.url = receiver.url(), .headers = {{"X-Token", "s3cret"}}});
        EXPECT_EQ(delivery.outcome, c.outcome) << c.status << " " << delivery.detail.toStdString();
        EXPECT_TRUE(delivery.detail.contains(c.detail)) << delivery.detail.toStdString();
        EXPECT_FALSE(delivery.detail.contains('\n'));
        ASSERT_EQ(receiver.requests().size(), 1) << "a redirect is not followed";
        const testsupport::ReceivedRequest &request = receiver.requests().front();
        EXPECT_EQ(request.method + " " + request.path, "POST /hook");
        EXPECT_EQ(request.body, Body);
        EXPECT_EQ(request.headers.value("content-type"), "application/json");
        EXPECT_EQ(request.headers.value("x-token"), "s3cret");
    }
}

TEST_F(Webhook, NoListenerAndNoAnswerInTimeAreTriedAgain) {
    QUrl closed;
    {
        WebhookReceiver gone;
        closed = gone.url();
    }
    EXPECT_EQ(post({.url = closed}).outcome, Outcome::Retry);
    WebhookReceiver silent;
    silent.setSilent(true);
    const Delivery delivery = post({.url = silent.url(), .timeLimit = std::chrono::milliseconds(300)});
    EXPECT_EQ(delivery.outcome, Outcome::Retry);
    EXPECT_EQ(delivery.detail, "no answer within 0.3 s");
    EXPECT_EQ(silent.requests().size(), 1);
}

TEST_F(Webhook, HttpsTrustsTheCaFileOrNothingWhenNotVerifying) {
    QTemporaryDir folder;
    const testsupport::Certificates certificates = testsupport::makeCertificates(folder.path(), "127.0.0.1");
    ASSERT_TRUE(certificates.made);
    WebhookReceiver receiver("127.0.0.1", 0, &certificates);
    ASSERT_TRUE(receiver.listening());
    const struct {
        bool verify;
        QString caFile;
        Outcome outcome;
    } cases[] = {{true, certificates.authority, Outcome::Accepted},
                 {true, {}, Outcome::ChannelFault},
                 {false, {}, Outcome::Accepted},
                 {true, folder.filePath("missing.pem"), Outcome::ChannelFault}};
    for (const auto &c : cases) {
        const Delivery delivery = post({.url = receiver.url(), .verify = c.verify, .caFile = c.caFile});
        EXPECT_EQ(delivery.outcome, c.outcome) << c.caFile.toStdString() << " " << delivery.detail.toStdString();
    }
    EXPECT_EQ(receiver.requests().size(), 2);
}
