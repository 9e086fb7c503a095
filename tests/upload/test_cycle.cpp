// The read-and-send cycle through the real library against simulated printers, with a window that records what
// the cycle shows and sends, and a small HTTP server standing in for the service's list page.
#include "platform/componentfactory.h"
#include "platform/eventpump.h"
#include "store/config.h"
#include "store/globals.h"
#include "store/history.h"
#include "store/inifile.h"
#include "store/pips.h"
#include "upload/conditionwatch.h"
#include "upload/cycle.h"
#include "upload/download.h"
#include "upload/outbox.h"
#include "upload/scrambler.h"
#include "store/servicetable.h"

#include "support/fulldisk.h"
#include "support/logmessages.h"
#include "support/printers.h"
#include "support/qtapplication.h"
#include "support/qtprint.h"
#include "support/recordingwindow.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrlQuery>

#include <cstdlib>

using meterlane::test::RecordingWindow;
using testsupport::SimulatedPrinter;

namespace {

// Answers every connection with one fixed reply (status line, headers and body), or with nothing at all.
class ListPage {
public:
    explicit ListPage(std::optional<QByteArray> response) : response_(std::move(response)) {
        server_.listen(QHostAddress(QStringLiteral("127.0.0.1")));
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            QTcpSocket *socket = server_.nextPendingConnection();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                ++requests;
                path = QString::fromUtf8(socket->readAll().split(' ').value(1));
                if (!response_) return; // a service that never answers
                if (trickle) return trickleReply(socket);
                socket->write(*response_);
                if (answered) answered();
                if (hangUp) socket->disconnectFromHost();
            });
        });
    }
    // A complete reply carrying the page's bytes.
    static QByteArray reply(const QByteArray &body, const QByteArray &contentType = "text/plain; charset=utf-8") {
        return "HTTP/1.1 200 OK\r\nContent-Type: " + contentType + "\r\nContent-Length: " +
               QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    }
    QString root() const { return QStringLiteral("http://127.0.0.1:%1").arg(server_.serverPort()); }

    int requests = 0;
    QString path;
    bool hangUp = true; // false: the connection stays open after the reply, as for a reply cut short
    bool trickle = false; // the reply's headers at once, then its body a byte at a time, one every 50 ms
    std::function<void()> answered;

private:
    void trickleReply(QTcpSocket *socket) {
        const qsizetype body = response_->indexOf("\r\n\r\n") + 4;
        socket->write(response_->left(body));
        auto *next = new QTimer(socket);
        QObject::connect(next, &QTimer::timeout, socket, [this, socket, next, sent = body]() mutable {
            if (sent < response_->size()) socket->write(response_->mid(sent++, 1));
            else next->stop();
        });
        next->start(50);
    }

    std::optional<QByteArray> response_;
    QTcpServer server_;
};

class Cycle : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        testsupport::ensureCoreApplication();
        platform::setLibraryFolder(QStringLiteral(METERLANE_BIN_DIR));
    }

    void SetUp() override {
        store::setProgramFolder(folder.path());
        store::Globals &values = store::globals();
        values.vendorId = store::vendorTable()[0].vendorId;
        values.customerCode.clear();
        values.dataSent = false;
        values.intervalRead = 1;
        setenv("QUORREL_TIMEOUT_MS", "200", 1);
        setenv("QUORREL_RETRIES", "0", 1);
        setenv("METERLANE_SERVICE_URL", "http://127.0.0.1:9", 1);
        write("Settings", "TonerLow", "20");
        write("Settings", "TonerLowNotNotify", "1");
        window.storeCustomerCode = [](const QString &code) {
            store::globals().customerCode = code;
            store::WriteIniValue(store::globals().iniFile, "Vendor", "CID", code);
        };
        platform::setWindow(&window);
    }
    void TearDown() override {
        upload::requestStop(false);
        platform::setWindow(nullptr);
        unsetenv("METERLANE_SERVICE_URL");
    }

    static void write(const QString &section, const QString &key, const QString &value) {
        store::WriteIniValue(store::globals().iniFile, section, key, value);
    }
    static QString read(const QString &section, const QString &key) {
        return store::ReadIniValue(store::globals().iniFile, section, key);
    }
    static QStringList log() { return testsupport::logMessages(); }
    // The record a navigation carried, decoded as the service decodes it.
    static QStringList recordOf(const QUrl &address) {
        const QString data = QUrlQuery(address).queryItemValue("d", QUrl::FullyDecoded);
        const QString vendor = store::globals().vendorId;
        EXPECT_TRUE(data.startsWith(vendor)) << data;
        return upload::DecodeText(data.mid(vendor.size())).split(';');
    }
    bool statusStartsWith(const QString &prefix) const {
        return std::any_of(window.statuses.begin(), window.statuses.end(),
                           [&](const QString &s) { return s.startsWith(prefix); });
    }

    QTemporaryDir folder;
    RecordingWindow window;
};

} // namespace

TEST(Schedule, TicksFollowTheIntervalSetting) {
    QTemporaryDir folder;
    store::setProgramFolder(folder.path());
    const auto ticksBetweenCycles = [](const QString &setting, int cycles) {
        store::WriteIniValue(store::globals().iniFile, "Settings", "IntervalReadMinutes", setting);
        store::globals().intervalRead = 1;
        std::vector<int> at;
        int tick = 0;
        upload::ReadSchedule schedule([&] { at.push_back(tick); return true; });
        while (static_cast<int>(at.size()) < cycles && tick < 1000) {
            ++tick;
            schedule.tick();
        }
        return at;
    };
    EXPECT_EQ(ticksBetweenCycles("150", 3), (std::vector<int>{1, 150, 299})); // first tick, then every 149
    EXPECT_EQ(ticksBetweenCycles("2", 3), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(ticksBetweenCycles("-5", 3), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(ticksBetweenCycles("0", 3), (std::vector<int>{1, 10, 19}));
    EXPECT_EQ(ticksBetweenCycles("every hour", 2), (std::vector<int>{1, 10}));

    // A tick while a cycle runs starts none and the count goes on.
    store::globals().intervalRead = 1;
    int started = 0;
    upload::ReadSchedule busy([&] { return ++started > 1; });
    EXPECT_FALSE(busy.tick());
    EXPECT_TRUE(busy.tick());
    EXPECT_EQ(busy.ticks(), 1);
}

TEST(PageText, DecodedAndStrippedAsABrowserShowsIt) {
    const struct {
        const char *contentType;
        QByteArray body;
        const char *text; // UTF-8
    } cases[] = {
        {"text/html; charset=windows-1252", "<html><body>10.0.0.5\xA7" "B\xFCro &amp; Co|</body></html>",
         "10.0.0.5§Büro & Co|"},
        {"text/html", "<meta charset=\"windows-1252\"><body>\x80|</body>", "€|"},
        // Latin-1 read as Windows-1252, from the http-equiv form
        {"text/html", "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\">\x80|", "€|"},
        {"text/html; charset=\"UTF-8\"", "<meta charset=windows-1252>\xC2\xA7|", "§|"}, // the reply's charset first
        {"text/html; charset=no-such-set", "\xC2\xA7|", "§|"},
        {"text/plain; charset=utf-8", " a&amp;b <p>| ", "a&amp;b <p>|"},
        {"", "<p>&#x1F5A8;&#0;&#169;&#99999999999;|</p>", "\U0001F5A8©\uFFFD|"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(upload::pageText(c.body, c.contentType), QString::fromUtf8(c.text)) << c.contentType << " " << c.body.toStdString();
}

TEST_F(Cycle, FirstCycleFindsKeyPointsAndTheNextSendsWithoutSearching) {
    SimulatedPrinter ricoh("ricoh", {}, false), hp("hp", {}, false);
    ASSERT_AGENT(ricoh);
    ASSERT_AGENT(hp);
    write("Pips", "pip001", QString::fromStdString(ricoh.address()));
    write("Pips", "pip002", QString::fromStdString(hp.address()));
    write("pipsinfo", "pip001", "Office");

    EXPECT_TRUE(upload::runCycle());
    EXPECT_EQ(read("Pips", "pip001"),
              QString::fromStdString(ricoh.address()) + ":1,12,13,33,7,2,8,10,15,16,20,21,24,25,26,27,28,0,0,0,30,31,0,0,37,40");
    EXPECT_EQ(read("pips_ID", "pip001"), "E174M610045");
    EXPECT_EQ(read("Pips", "pip002"), QString::fromStdString(hp.address()) + ":0,1.3.6.1.2.1.43.10.2.1.4.1.1" +
                                          QString(",0").repeated(24));
    ASSERT_EQ(window.navigations.size(), 2u);
    const QStringList record = recordOf(window.navigations[0]);
    ASSERT_EQ(record.size(), 34); // 33 fields and the application code
    EXPECT_EQ(record[0], QString::fromStdString(ricoh.address()));
    EXPECT_EQ(record[3], QString::number(qint64{store::UploadOffsetKey[0]} - 92110));
    EXPECT_EQ(record[33], "004");
    EXPECT_TRUE(statusStartsWith("Scanning "));
    EXPECT_TRUE(window.statuses.last().startsWith("Last Update "));
    EXPECT_TRUE(store::globals().dataSent);
    EXPECT_EQ(log().filter("/meter/upload?d=" + store::globals().vendorId).size(), 2); // every request address

    window.statuses.clear();
    window.navigations.clear();
    EXPECT_TRUE(upload::runCycle());
    EXPECT_FALSE(statusStartsWith("Scanning "));
    EXPECT_EQ(window.navigations.size(), 2u);
}

TEST_F(Cycle, AReplacedPrinterIsResetAndSentAgainNextCycle) {
    SimulatedPrinter ricoh("ricoh");
    ASSERT_AGENT(ricoh);
    const QString host = QString::fromStdString(ricoh.address());
    write("Pips", "pip001", host + ":1,12,13,33,7,2,8,10,15,16,20,21,24,25,26,27,28,0,0,0,30,31,0,0,37,40");
    write("pips_ID", "pip001", "OLD-PRINTER");

    EXPECT_TRUE(upload::runCycle());
    EXPECT_TRUE(window.navigations.empty());
    EXPECT_EQ(read("Pips", "pip001"), host);
    EXPECT_TRUE(window.statuses.contains("Reset pip 1"));
    EXPECT_TRUE(log().contains("Reset pip 1 OLD-PRINTER"));

    EXPECT_TRUE(upload::runCycle());
    EXPECT_EQ(window.navigations.size(), 1u);
    EXPECT_EQ(read("pips_ID", "pip001"), "E174M610045");
}

TEST_F(Cycle, AnUnresolvableHostEndsTheSlotLoop) {
    SimulatedPrinter ricoh("ricoh");
    ASSERT_AGENT(ricoh);
    write("Pips", "pip001", QString::fromStdString(ricoh.address()));
    write("Pips", "pip002", "printer7.invalid");
    write("Pips", "pip003", QString::fromStdString(ricoh.address()));

    EXPECT_TRUE(upload::runCycle());
    EXPECT_EQ(window.navigations.size(), 1u);
    EXPECT_TRUE(window.statuses.contains("PIP error: printer7.invalid>"));
    EXPECT_TRUE(log().contains("PIP error: printer7.invalid>"));
    EXPECT_EQ(read("Pips", "pip003"), QString::fromStdString(ricoh.address())); // not read this cycle
    EXPECT_TRUE(window.statuses.last().startsWith("Last Update "));
}

TEST_F(Cycle, NoUsableRecordDownloadsTheCustomersList) {
    ListPage page(ListPage::reply("<html><body>10.0.0.5\xA7Office|short|10.0.0.6\xA7Lab &amp; Co|</body></html>",
                                  "text/html; charset=windows-1252"));
    setenv("METERLANE_SERVICE_URL", page.root().toUtf8().constData(), 1);
    write("Pips", "pip001", "----");
    window.customerCode = "4711";

    EXPECT_TRUE(upload::runCycle());
    EXPECT_EQ(window.prompts, 1);
    EXPECT_EQ(page.requests, 1);
    EXPECT_EQ(page.path, "/" + store::vendorTable()[0].download.section('/', 3) + "4711");
    EXPECT_EQ(read("Pips", "pip001"), "10.0.0.5");
    EXPECT_EQ(read("pipsinfo", "pip001"), "Office");
    EXPECT_EQ(read("Pips", "pip002"), ""); // the short record leaves its slot alone
    EXPECT_EQ(read("Pips", "pip003"), "10.0.0.6");
    EXPECT_EQ(read("pipsinfo", "pip003"), "Lab & Co");
    EXPECT_EQ(read("Vendor", "CID"), "4711");
    EXPECT_EQ(window.refills, 1);
    EXPECT_TRUE(window.statuses.last().startsWith("Last Update "));
}

TEST_F(Cycle, ARecordWithoutDescriptionCountsAsOneError) {
    ListPage page(ListPage::reply("10.0.0.5\xC2\xA7Office|10.0.0.6|"));
    setenv("METERLANE_SERVICE_URL", page.root().toUtf8().constData(), 1);

    EXPECT_TRUE(upload::runCycle());
    EXPECT_EQ(read("Pips", "pip002"), "10.0.0.6");
    EXPECT_EQ(window.refills, 0);
    EXPECT_EQ(log().filter("errSendPCC 9 ").size(), 1);
    EXPECT_TRUE(window.statuses.last().startsWith("Last Update "));
}

TEST_F(Cycle, AServiceThatDoesNotAnswerLetsTheCycleComplete) {
    ListPage silent(std::nullopt);
    setenv("METERLANE_SERVICE_URL", silent.root().toUtf8().constData(), 1);
    upload::setPageTimeLimit(std::chrono::milliseconds(300));

    EXPECT_FALSE(upload::SendPCC()); // a failed cycle
    upload::setPageTimeLimit(std::chrono::milliseconds(15000));
    EXPECT_TRUE(window.statuses.contains("Printer list: no answer from the service"));
    ASSERT_EQ(window.failedRequests.size(), 1u);
    EXPECT_EQ(window.failedRequests[0].second, "no answer within 0.3 s");
    EXPECT_EQ(read("Pips", "pip001"), "");
    EXPECT_TRUE(window.statuses.last().startsWith("Last Update "));
}

// The time limit of an upload bounds the whole request: an answer that trickles in, never pausing as long as the
// limit, ends as failed.
TEST_F(Cycle, AnAnswerThatTricklesInFailsAtTheTimeLimit) {
    ListPage page(ListPage::reply(QByteArray(100, 'x')));
    page.trickle = true;
    QNetworkAccessManager network;
    const std::chrono::milliseconds limit(300);
    QNetworkReply *reply = upload::getWithinTimeLimit(network, QUrl(page.root() + "/u"), limit);
    ASSERT_TRUE(QTest::qWaitFor([&] { return reply->isFinished(); }, 60'000));
    EXPECT_EQ(upload::requestFailure(*reply, limit), "no answer within 0.3 s");
}

TEST_F(Cycle, AStopPendingEndsTheCycleAtOnce) {
    ListPage page(ListPage::reply("10.0.0.5\xC2\xA7Office|"));
    setenv("METERLANE_SERVICE_URL", page.root().toUtf8().constData(), 1);
    upload::requestStop();

    EXPECT_TRUE(upload::runCycle());
    EXPECT_EQ(window.prompts, 0);
    EXPECT_EQ(page.requests, 0);
    EXPECT_TRUE(window.statuses.isEmpty()) << window.statuses.join(" | ");
    EXPECT_FALSE(store::globals().dataSent);
}

TEST_F(Cycle, AListCutShortByTheProgramQuittingIsNoAnswer) {
    ListPage page("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n10.0.0.5\xC2\xA7Office|");
    page.hangUp = false;
    page.answered = [] { QTimer::singleShot(200, qApp, &QCoreApplication::quit); };
    setenv("METERLANE_SERVICE_URL", page.root().toUtf8().constData(), 1);

    QTimer::singleShot(0, [] { upload::runCycle(); });
    QCoreApplication::exec();
    EXPECT_EQ(page.requests, 1);
    EXPECT_EQ(read("Pips", "pip001"), "");
    EXPECT_TRUE(window.statuses.contains("Printer list: no answer from the service"));
}

TEST_F(Cycle, TheTenthErrorEndsTheCycle) {
    SimulatedPrinter hp("hp");
    ASSERT_AGENT(hp);
    const QString stored = QString::fromStdString(hp.address()) + ":0,1.3.6.1.2.1.43.10.2.1.4.1.1" + QString(",0").repeated(24);
    for (int slot = 1; slot <= 12; ++slot) {
        write("Pips", store::slotKey(slot), stored);
        write("pips_ID", store::slotKey(slot), "CNRXB12345");
    }
    window.failing = RecordingWindow::Member::Navigate;

    EXPECT_TRUE(upload::runCycle());
    EXPECT_EQ(window.navigations.size(), 10u); // the eleventh and twelfth printers are not handled
    EXPECT_EQ(log().filter("errSendPCC 424 ").size(), 10);
    EXPECT_FALSE(window.statuses.last().startsWith("Last Update "));
    EXPECT_FALSE(store::globals().dataSent);
}

// A failed upload waits with its tries and last failure until its wait is over; a newer reading of the printer
// takes its place at once, so that the older one, still out, is never kept or sent after it; the service taking the
// newer one empties the outbox.
TEST_F(Cycle, AFailedUploadWaitsInTheOutboxUntilTheServiceTakesIt) {
    SimulatedPrinter hp("hp");
    ASSERT_AGENT(hp);
    write("Pips", "pip001", QString::fromStdString(hp.address()));
    const auto waiting = [] { return upload::readOutbox().value(); };

    EXPECT_TRUE(upload::runCycle());
    window.answerAll("Connection refused");
    const QList<upload::WaitingReading> first = waiting();
    ASSERT_EQ(first.size(), 1);
    EXPECT_EQ(first[0].host, QString::fromStdString(hp.address()));
    EXPECT_EQ(std::pair(first[0].tries, first[0].lastFailure), std::pair(1, QString("Connection refused")));
    EXPECT_EQ(upload::retryWaitingReadings(), 0); // its wait of one tick is not over
    EXPECT_EQ(upload::retryWaitingReadings(false), 1);

    EXPECT_TRUE(upload::runCycle()); // a newer reading, while the older one is out
    EXPECT_EQ(upload::retryWaitingReadings(false), 0);
    window.answerAll("HTTP status 503");
    ASSERT_EQ(waiting().size(), 1);
    EXPECT_GT(waiting()[0].readAt, first[0].readAt);
    EXPECT_EQ(waiting()[0].tries, 1);
    EXPECT_EQ(upload::retryWaitingReadings(false), 1);
    window.answerAll({});
    EXPECT_TRUE(waiting().isEmpty());

    // The history holds both readings and how their uploads went: the first dropped for the newer one.
    const QList<store::ReadingEntry> stored = store::History(folder.path(), true).readings({});
    ASSERT_EQ(stored.size(), 2);
    EXPECT_EQ(stored[0].time, first[0].readAt);
    EXPECT_EQ(stored[0].upload, store::Upload::Failed);
    EXPECT_EQ(stored[1].upload, store::Upload::Accepted);
    EXPECT_EQ(stored[1].host, QString::fromStdString(hp.address()));
    EXPECT_GT(stored[1].blackAndWhite, 0);
}

// A history the program cannot use (here a folder where the file should be) stops no reading and no upload, and is
// named once on the status line however many readings find it so.
TEST_F(Cycle, AHistoryThatCannotBeWrittenIsNamedOnceAndStopsNothing) {
    SimulatedPrinter hp("hp");
    ASSERT_AGENT(hp);
    write("Pips", "pip001", QString::fromStdString(hp.address()));
    ASSERT_TRUE(QDir(folder.path()).mkdir(store::HistoryFileName));
    EXPECT_TRUE(upload::runCycle());
    EXPECT_TRUE(upload::runCycle());
    EXPECT_EQ(window.navigations.size(), 2u) << "both readings were sent";
    QStringList named;
    for (const QString &status : window.statuses)
        if (status.contains(store::HistoryFileName)) named << status;
    EXPECT_EQ(named.size(), 1) << named.join(u'\n');
    EXPECT_TRUE(named.value(0).startsWith("Cannot open " + folder.filePath(store::HistoryFileName))) << named.value(0);
}

// Which of a printer's readings is newer is the order they were handed over in, never their times: an older reading
// still out when a newer one is handed over is dropped when it fails, whether the service took the newer one (the
// outbox stays empty) or not (the newer one waits alone), also after the clock was stepped back between the two.
// Nothing older is sent after the newer one.
TEST_F(Cycle, AnOlderReadingThatFailsAfterANewerOneIsDropped) {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const auto address = [](const QString &reading) { return QUrl("http://127.0.0.1:9/u?d=" + reading); };
    const auto readings = [](const auto &addresses) { // the readings the addresses carry, in order
        QStringList names;
        for (const QUrl &address : addresses) names << QUrlQuery(address).queryItemValue("d");
        return names.join(' ');
    };
    const struct {
        const char *host;
        qint64 olderReadSecondsAgo;
        const char *newerFailure; // empty: the service took it
        const char *waiting, *sent;
    } cases[] = {{"taken", 60, "", "", "older newer"},
                 {"clock-stepped-back", -3600, "HTTP status 503", "newer", "older newer newer"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.host);
        window.navigations.clear();
        const upload::WaitingReading older{c.host, address("older"), now.addSecs(-c.olderReadSecondsAgo), 1, "", now};
        ASSERT_TRUE(store::writeFileAtomically(upload::outboxFile(), upload::serializeOutbox({older})));
        ASSERT_EQ(upload::retryWaitingReadings(false), 1);
        upload::sendReading(c.host, address("newer"));
        ASSERT_EQ(window.unanswered.size(), 2u);
        const auto answers = std::exchange(window.unanswered, {});
        answers[1](c.newerFailure);
        answers[0]("Connection refused");
        std::vector<QUrl> waiting;
        const auto outbox = upload::readOutbox();
        for (const upload::WaitingReading &reading : outbox.value()) waiting.push_back(reading.address);
        EXPECT_EQ(readings(waiting), c.waiting);
        upload::retryWaitingReadings(false);
        EXPECT_EQ(readings(window.navigations), c.sent);
        window.answerAll({});
    }
}

// A printer whose state changes between condition polls: a jam is raised at the second poll that sees it and
// announced once, not again after a restart, cleared at the second poll without it, and kept while the printer is
// silent. A cycle asked for during a poll runs after it.
TEST_F(Cycle, AConditionIsRaisedAndClearedByTwoPollsAnnouncedOnceAndKeptThroughSilence) {
    auto printer = std::make_unique<SimulatedPrinter>("state-changing");
    ASSERT_AGENT(*printer);
    const QString host = QString::fromStdString(printer->address());
    write("Pips", "pip001", host);
    write("pipsinfo", "pip001", "Floor 2");
    const auto setErrorState = [&](const char *hex) {
        const auto set = testsupport::runCommand({"snmpset", "-v1", "-c", "public", printer->address(),
                                                  "1.3.6.1.2.1.25.3.5.1.2.1", "x", hex});
        ASSERT_EQ(set.status, 0) << set.err;
    };
    const auto poll = [&] { ASSERT_TRUE(upload::runConditionPoll()); };
    const auto status = [&] { return window.pipStatus[host].status; };

    platform::setEventPump([] { QCoreApplication::processEvents(); });
    QTimer::singleShot(0, [] { EXPECT_TRUE(upload::runCycle()); }); // a click inside the poll's waits
    poll();
    platform::setEventPump({});
    EXPECT_EQ(status(), "");
    ASSERT_FALSE(window.statuses.isEmpty());
    EXPECT_TRUE(window.statuses.last().startsWith("Last Update")) << "the cycle ran after the poll";
    setErrorState("04"); // jammed
    poll();
    EXPECT_EQ(status(), "") << "one poll raises nothing";
    EXPECT_TRUE(window.conditionNotes.empty());
    poll();
    EXPECT_EQ(status(), "Paper jam");
    EXPECT_EQ(window.pipStatus[host].attention, platform::Attention::Critical);
    ASSERT_EQ(window.conditionNotes.size(), 1u);
    EXPECT_EQ(window.conditionNotes[0].title, "ECOSYS M2540dn (Floor 2)");
    EXPECT_EQ(window.needingAttention, 1);

    window.pipStatus.clear(); // a restart: what is remembered shows at once and is not announced again
    upload::showRememberedConditions();
    EXPECT_EQ(status(), "Paper jam");
    poll();
    EXPECT_EQ(window.conditionNotes.size(), 1u);

    setErrorState("00");
    poll();
    EXPECT_EQ(status(), "Paper jam") << "one poll clears nothing";
    poll();
    EXPECT_EQ(status(), "");
    EXPECT_EQ(window.needingAttention, 0);

    setErrorState("04");
    poll();
    poll();
    printer.reset(); // silent
    poll();
    EXPECT_EQ(status(), "Paper jam");
    EXPECT_TRUE(window.pipStatus[host].details.startsWith("Not answering since ")) << window.pipStatus[host].details;
    EXPECT_EQ(window.conditionNotes.size(), 2u);
}

// A supply's level is read at each reading, not at the polls: a waste box nearly full is raised by two readings and
// cleared by two, with one notice, and the polls between them neither drop nor confirm it.
TEST_F(Cycle, ASupplysConditionIsRaisedAndClearedByTwoReadingsAndKeptByThePollsBetween) {
    SimulatedPrinter printer("state-changing");
    ASSERT_AGENT(printer);
    const QString host = QString::fromStdString(printer.address());
    write("Pips", "pip001", host);
    const auto setWasteSpace = [&](const char *space) {
        const auto set = testsupport::runCommand({"snmpset", "-v1", "-c", "public", printer.address(),
                                                  "1.3.6.1.2.1.43.11.1.1.9.1.2", "i", space});
        ASSERT_EQ(set.status, 0) << set.err;
    };
    const auto status = [&] { return window.pipStatus[host].status; };
    const auto reading = [&] { ASSERT_TRUE(upload::runCycle()); };
    const auto poll = [&] { ASSERT_TRUE(upload::runConditionPoll()); };

    setWasteSpace("5");
    reading();
    poll();
    poll();
    EXPECT_EQ(status(), "") << "polls do not confirm what a reading saw";
    reading();
    EXPECT_EQ(status(), "Waste toner box nearly full");
    EXPECT_EQ(window.pipStatus[host].attention, platform::Attention::Warning);
    ASSERT_EQ(window.conditionNotes.size(), 1u);
    EXPECT_EQ(window.conditionNotes[0].text, "Waste toner box nearly full");
    poll();
    poll();
    EXPECT_EQ(status(), "Waste toner box nearly full") << "polls do not clear what a reading saw";

    setWasteSpace("60");
    reading();
    EXPECT_EQ(status(), "Waste toner box nearly full") << "one reading clears nothing";
    reading();
    EXPECT_EQ(status(), "");
    EXPECT_EQ(window.conditionNotes.size(), 1u);
}

// The window's timer ticks inside a cycle's waits: such a tick sends nothing of the outbox again, so that no
// printer's waiting reading is out while the cycle reads the printer and hands its newer reading over.
TEST_F(Cycle, ATickDuringACycleSendsNothingAgain) {
    SimulatedPrinter hp("hp");
    ASSERT_AGENT(hp);
    const QString host = QString::fromStdString(hp.address());
    write("Pips", "pip001", host);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QUrl older("http://127.0.0.1:9/u?d=older");
    ASSERT_TRUE(store::writeFileAtomically(upload::outboxFile(),
                                           upload::serializeOutbox({{host, older, now.addSecs(-60), 1, "", now}})));
    upload::ReadSchedule schedule;
    window.statusShown = [&](const QString &) { schedule.tick(); };

    EXPECT_TRUE(schedule.tick());
    ASSERT_EQ(window.navigations.size(), 1u); // the cycle's own reading only
    EXPECT_NE(window.navigations[0], older);
}

// An outbox the disk cannot hold (a full disk; a folder where the file should be, which cannot be read either) loses
// no reading: one whose upload failed waits in memory, is counted and sent again, the failure is named once on the
// status line, and the first save once the disk is well again writes it.
TEST_F(Cycle, AReadingTheOutboxCannotStoreWaitsInMemoryUntilItCan) {
    const struct {
        const char *disk;
        const char *named;
    } cases[] = {{"full", "Cannot write "}, {"folder in place", "Cannot read "}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.disk);
        ASSERT_TRUE(QDir(folder.path()).mkdir(c.disk));
        store::setProgramFolder(folder.filePath(c.disk));
        window.statuses.clear();
        std::optional<testsupport::TinyFileSizeLimit> fullDisk;
        if (c.disk == std::string_view("full")) fullDisk.emplace();
        else ASSERT_TRUE(QDir().mkdir(upload::outboxFile()));

        upload::sendReading("printer", QUrl("http://127.0.0.1:9/u?d=1"));
        window.answerAll("Connection refused");
        EXPECT_EQ(window.waitingReadings, 1);
        EXPECT_EQ(upload::retryWaitingReadings(false), 1);
        window.answerAll("Connection refused");
        fullDisk.reset();
        QDir().rmdir(upload::outboxFile());
        EXPECT_EQ(upload::retryWaitingReadings(false), 1);
        const auto waiting = upload::readOutbox();
        ASSERT_EQ(waiting.value_or(QList<upload::WaitingReading>{}).size(), 1);
        EXPECT_EQ(std::pair(waiting->first().host, waiting->first().tries), std::pair(QString("printer"), 2));
        const QStringList named = window.statuses.filter(QRegularExpression("^Cannot "));
        ASSERT_EQ(named.size(), 1) << named.join(" | ");
        EXPECT_TRUE(named[0].startsWith(c.named + upload::outboxFile())) << named[0];
        window.answerAll({});
    }
}

TEST_F(Cycle, TheOutboxWaitDoublesFromOneTickUpToTheReadingInterval) {
    write("Settings", "IntervalReadMinutes", "5");
    std::vector<qint64> seconds;
    for (int tries = 1; tries <= 5; ++tries) seconds.push_back(upload::retryWait(tries).count() / 1000);
    EXPECT_EQ(seconds, (std::vector<qint64>{30, 60, 120, 150, 150}));
}

// An outbox file that cannot be parsed (here: an address no try could send) is set aside, said on the status line
// and in the log, and a new one started; a reading older than 30 days goes with a log line.
TEST_F(Cycle, ACorruptOutboxIsSetAsideAndOldReadingsAreDropped) {
    const QByteArray relative = R"({"readings": [{"host": "a", "address": "a#b", "readAt": "2024-05-01T10:00:00Z",
        "tries": 1, "lastFailure": "", "nextTry": "2024-05-01T10:00:00Z"}]})";
    ASSERT_TRUE(store::writeFileAtomically(upload::outboxFile(), relative));
    EXPECT_EQ(upload::retryWaitingReadings(false), 0);
    const QStringList aside = QDir(folder.path()).entryList({"outbox.corrupt-*"});
    ASSERT_EQ(aside.size(), 1);
    QFile setAside(folder.filePath(aside[0]));
    EXPECT_TRUE(setAside.open(QIODevice::ReadOnly) && setAside.readAll() == relative);
    const QString said = upload::outboxFile() + " is not an outbox file: set aside as " + setAside.fileName();
    EXPECT_EQ(window.statuses, QStringList{said});
    EXPECT_EQ(log().filter(said).size(), 1);

    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QList<upload::WaitingReading> readings{
        {"old-printer", QUrl("http://127.0.0.1:9/u?d=1"), now.addDays(-31), 40, "Connection refused", now},
        {"printer", QUrl("http://127.0.0.1:9/u?d=2"), now.addDays(-1), 3, "HTTP status 503", now.addSecs(3600)}};
    ASSERT_TRUE(store::writeFileAtomically(upload::outboxFile(), upload::serializeOutbox(readings)));
    EXPECT_EQ(upload::retryWaitingReadings(), 0); // the one left is not due
    EXPECT_EQ(upload::readOutbox(), QList<upload::WaitingReading>{readings[1]});
    EXPECT_EQ(log().filter("Outbox: reading of old-printer read at ").filter("dropped after 30 days").size(), 1);
}
