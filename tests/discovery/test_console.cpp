// The console's run in a network namespace of the test's own, against two simulated printers (snmpsim) and the fault
// agent; loopback addresses without an agent are made silent where a test wants silent rows. A recording view
// stands in for the window.
#include "discovery/console.h"
#include "platform/componentfactory.h"
#include "store/globals.h"
#include "support/faultagent.h"
#include "support/printers.h"
#include "support/privatenetwork.h"
#include "support/qtapplication.h"
#include "support/qtprint.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

using discovery::ConsoleOperation;
using discovery::ConsoleRequest;
using testsupport::SimulatedPrinter;

const QString Dashes(59, u'-');
const QString NoSuchName =
    QStringLiteral("[Vantobe.Mod.SnmpResponseProcess][AP02C1]=Error encountered during Agent Process");
const QString SysDescr = QStringLiteral(
    "HP ETHERNET MULTI-ENVIRONMENT,ROM R.22.01,JETDIRECT,JD128,EEPROM V.28.63,CIDATE 07/10/2006");

// An address of the simulated printers' network.
QString loopback(int host) { return QStringLiteral("127.100.100.%1").arg(host); }

class RecordingView : public discovery::ConsoleView {
public:
    struct Ping {
        QString time;
        int icon = 0;
        bool operator==(const Ping &) const = default;
    };

    std::vector<bool> running;
    QStringList addresses;
    std::map<int, Ping> pings;   // row → its (only) outcome
    int pingCalls = 0;
    QStringList currentAddress;  // showCurrentAddress calls as "address|green" or "|red"
    QStringList lines;
    QStringList completions;
    QStringList failures;
    std::function<void()> onPing;
    std::function<void(const QString &line)> onResult;

    void setRunning(bool on) override { running.push_back(on); }
    void clearAddresses() override {
        addresses.clear();
        pings.clear();
    }
    void addAddress(const QString &address) override { addresses.append(address); }
    void showPingResult(int row, const QString &timeText, int icon) override {
        ++pingCalls;
        pings[row] = {timeText, icon};
        if (onPing) onPing();
    }
    void showCurrentAddress(const QString &address, bool answering) override {
        currentAddress.append(address + (answering ? QStringLiteral("|green") : QStringLiteral("|red")));
    }
    void clearResults() override { lines.clear(); }
    void addResult(const QString &line) override {
        lines.append(line);
        if (onResult) onResult(line);
    }
    QStringList results() const override { return lines; }
    void showCompletion(const QString &message) override { completions.append(message); }
    void showFailure(const QString &text) override { failures.append(text); }
};

class ConsoleRun : public testing::Test {
protected:
    static void SetUpTestSuite() {
        network_ = new testsupport::PrivateNetwork;
        if (!network_->ready()) return;
        printers_.push_back(std::make_unique<SimulatedPrinter>("hp", testsupport::RecordChanges{}, false));
        printers_.push_back(std::make_unique<SimulatedPrinter>(
            "hp", testsupport::RecordChanges{{"1.3.6.1.2.1.43.5.1.1.16.1", "4|Service error 79"}}, false));
    }
    static void TearDownTestSuite() {
        printers_.clear();
        delete network_;
    }

    void SetUp() override {
        testsupport::ensureCoreApplication();
        ASSERT_TRUE(network_->ready()) << network_->failure();
        for (const auto &printer : printers_) ASSERT_TRUE(printer->running()) << printer->failure();
        store::setProgramFolder(folder_.path());
        platform::setLibraryFolder(QStringLiteral(METERLANE_BIN_DIR));
    }
    void TearDown() override {
        for (const QString &address : silenced_) network_->unsilence(address.toStdString());
    }

    // The simulated printer, and the one whose data hold "Service error 79" in the Printer MIB.
    static QString printer() { return QString::fromStdString(printers_[0]->address()); }
    static QString erringPrinter() { return QString::fromStdString(printers_[1]->address()); }
    static int hostOf(const QString &address) { return address.section(u'.', 3).toInt(); }

    void silence(const QString &address) {
        ASSERT_TRUE(network_->silence(address.toStdString())) << network_->failure();
        silenced_.insert(address);
    }
    void unsilence(const QString &address) {
        ASSERT_TRUE(network_->unsilence(address.toStdString())) << network_->failure();
        silenced_.erase(address);
    }

    static ConsoleRequest request(const QString &first, const QString &last, const QString &oids,
                                  ConsoleOperation operation = ConsoleOperation::Get) {
        ConsoleRequest request;
        request.firstAddress = first;
        request.lastAddress = last;
        request.oids = oids;
        request.operation = operation;
        return request;
    }

    QStringList fileLines() const {
        QFile file(folder_.filePath(QStringLiteral("zovdata.txt")));
        if (!file.open(QIODevice::ReadOnly)) return {QStringLiteral("<no file>")};
        const QString text = QString::fromUtf8(file.readAll());
        if (text.isEmpty()) return {};
        EXPECT_TRUE(text.endsWith(QStringLiteral("\r\n")));
        EXPECT_EQ(text.count(u'\n'), text.count(QStringLiteral("\r\n"))) << "every line ends with CR LF";
        return text.chopped(2).split(QStringLiteral("\r\n"));
    }
    QString completion() const { return QStringLiteral("Complete ... file at: ") + folder_.path() + "/zovdata.txt"; }

    static testsupport::PrivateNetwork *network_;
    static std::vector<std::unique_ptr<SimulatedPrinter>> printers_;
    QTemporaryDir folder_;
    RecordingView view_;
    discovery::Console console_{view_};
    std::set<QString> silenced_;
};

testsupport::PrivateNetwork *ConsoleRun::network_ = nullptr;
std::vector<std::unique_ptr<SimulatedPrinter>> ConsoleRun::printers_;

// A range from one below the lower printer to one above the higher: every address but the printers' is silent.
// Only the last address's fourth part counts.
TEST_F(ConsoleRun, GetOverARangeOfAnsweringAndSilentAddresses) {
    const int low = std::min(hostOf(printer()), hostOf(erringPrinter())) - 1;
    const int high = std::max(hostOf(printer()), hostOf(erringPrinter())) + 1;
    for (int host = low; host <= high; ++host)
        if (loopback(host) != printer() && loopback(host) != erringPrinter()) silence(loopback(host));
    EXPECT_FALSE(console_.scanned());

    ASSERT_TRUE(console_.run(request(loopback(low), QStringLiteral("198.18.0.%1").arg(high),
                                     QStringLiteral("1.3.6.1.2.1.1.1.0;1.3.6.1.2.1.43.10.2.1.4.1.1"))));

    EXPECT_EQ(view_.running, (std::vector<bool>{true, false}));
    QStringList rows, current, lines;
    for (int host = low; host <= high; ++host) {
        const QString address = loopback(host);
        rows << address;
        const bool answers = address == printer() || address == erringPrinter();
        const RecordingView::Ping ping = view_.pings[host - low];
        if (answers) {
            EXPECT_EQ(ping.icon, 1) << address.toStdString();
            EXPECT_GE(ping.time.toInt(), 0) << ping.time.toStdString();
            current << address + "|green";
            lines << "> " + address << "- 1.3.6.1.2.1.1.1.0 : " + SysDescr
                  << QStringLiteral("- 1.3.6.1.2.1.43.10.2.1.4.1.1 : 87654") << Dashes;
        } else {
            EXPECT_EQ(ping, (RecordingView::Ping{QStringLiteral("---"), 2})) << address.toStdString();
            current << QStringLiteral("|red");
        }
    }
    EXPECT_EQ(view_.addresses, rows);
    EXPECT_EQ(view_.pingCalls, rows.size()) << "one outcome per row";
    EXPECT_EQ(view_.currentAddress, current);
    EXPECT_EQ(view_.lines, lines);
    EXPECT_EQ(fileLines(), lines);
    EXPECT_EQ(view_.completions, QStringList{completion()});
    EXPECT_TRUE(console_.scanned());
    EXPECT_FALSE(console_.running());
    EXPECT_EQ(console_.faultDescription(), QString());
}

TEST_F(ConsoleRun, GetNextListsTheOidsTheAgentReturned) {
    ASSERT_TRUE(console_.run(request(printer(), printer(), QStringLiteral("1.3.6.1.2.1.1.1.0;1.3.6.1.2.1.43.10.2.1.4.1.1"),
                                     ConsoleOperation::GetNext)));
    EXPECT_EQ(view_.lines, (QStringList{"> " + printer(), "-  1.3.6.1.2.1.1.2.0 : 1.3.6.1.4.1.11.2.3.9.1",
                                        "-  1.3.6.1.2.1.43.11.1.1.6.1.1 : Black Cartridge HP Q5942X", Dashes}));
}

// A walk to the end of the printer's data, and one that a value holding "error" stops.
TEST_F(ConsoleRun, WalkToTheEndAndOneStoppedByAnErrorInAValue) {
    ConsoleRequest walk = request(printer(), printer(), QStringLiteral("1.3.6.1.2.1.43"), ConsoleOperation::Walk);
    ASSERT_TRUE(console_.run(walk));
    EXPECT_EQ(view_.lines, (QStringList{"> " + printer(), "=S= 1.3.6.1.2.1.43 : " + NoSuchName,
                                        "=1= 1.3.6.1.2.1.43.5.1.1.17.1 : CNRXB12345",
                                        "=2= 1.3.6.1.2.1.43.10.2.1.4.1.1 : 87654",
                                        "=3= 1.3.6.1.2.1.43.11.1.1.6.1.1 : Black Cartridge HP Q5942X",
                                        "=4= 1.3.6.1.2.1.43.11.1.1.9.1.1 : 7",
                                        "=5= 1.3.6.1.2.1.43.14.1.1.9.1.7 : Name=LaserJet 4250",
                                        "=6= 1.3.6.1.2.1.43.14.1.1.9.1.7 : " + NoSuchName, Dashes}));

    walk.firstAddress = walk.lastAddress = erringPrinter();
    walk.fullWalk = true;
    ASSERT_TRUE(console_.run(walk));
    EXPECT_EQ(view_.lines, (QStringList{"> " + erringPrinter(), "=S= 1.3.6.1.2.1.43 : " + NoSuchName,
                                        "=1= 1.3.6.1.2.1.43.5.1.1.16.1 : Service error 79", Dashes}));
}

// Set through the fault agent, which records what arrives and echoes it: a text, an integer rounded from a numeric
// text, nothing for a text that is not a number, and a run ended by a number beyond 32 bits.
TEST_F(ConsoleRun, SetSendsTextOrIntegerAndNothingForANonNumber) {
    meterlane::test::FaultAgent agent("127.0.0.70");
    const QString address = QStringLiteral("127.0.0.70");
    ConsoleRequest set = request(address, address, QStringLiteral("1.3.6.1.4.1.99999.4.0"), ConsoleOperation::Set);
    set.setValue = QStringLiteral("Room 12");
    ASSERT_TRUE(console_.run(set));
    EXPECT_EQ(view_.lines, (QStringList{"> " + address, QStringLiteral("-1.3.6.1.4.1.99999.4.0 : Room 12"), Dashes}));
    ASSERT_EQ(agent.requests().size(), 1u);
    EXPECT_EQ(agent.requests()[0].pduType, 0xA3);
    EXPECT_EQ(agent.requests()[0].community, "public");
    EXPECT_EQ(agent.requests()[0].value, meterlane::test::WireValue::octets("Room 12"));

    agent.clearRequests();
    set.oids = QStringLiteral("1.3.6.1.4.1.99999.3.0");
    set.setInteger = true;
    set.setValue = QStringLiteral(" 2.5 ");
    ASSERT_TRUE(console_.run(set));
    EXPECT_EQ(view_.lines, (QStringList{"> " + address, QStringLiteral("- 1.3.6.1.4.1.99999.3.0 : 2"), Dashes}));
    ASSERT_EQ(agent.requests().size(), 1u);
    EXPECT_EQ(agent.requests()[0].value, meterlane::test::WireValue::integer(2));

    agent.clearRequests();
    set.setValue = QStringLiteral("abc");
    ASSERT_TRUE(console_.run(set));
    EXPECT_EQ(view_.lines, (QStringList{"> " + address,
                                        QStringLiteral("- 1.3.6.1.4.1.99999.3.0 does not appear to be an integer"),
                                        Dashes}));
    EXPECT_EQ(agent.requestCount(), 0u);

    set.setValue = QStringLiteral("3e10");
    const QStringList before = fileLines();
    EXPECT_FALSE(console_.run(set));
    EXPECT_EQ(console_.faultDescription(), QStringLiteral("Overflow"));
    EXPECT_EQ(agent.requestCount(), 0u);
    EXPECT_EQ(fileLines(), (before + QStringList{"> " + address, QStringLiteral("Overflow")}));
    EXPECT_EQ(view_.completions.size(), 3) << "no completion message after a fault";
    EXPECT_EQ(view_.running.back(), false);
}

// No OIDs: each answering address gets its header and dashes. A first host number above the last gives no rows
// and appends nothing. Host numbers beyond 255 make rows that are never sent anything.
TEST_F(ConsoleRun, EmptyOidListAndRangesWithoutOrBeyondAddresses) {
    ASSERT_TRUE(console_.run(request(printer(), printer(), QString())));
    EXPECT_EQ(view_.lines, (QStringList{"> " + printer(), Dashes}));
    const QStringList first = fileLines();

    ASSERT_TRUE(console_.run(request(QStringLiteral("127.0.0.9"), QStringLiteral("127.0.0.8"), QString())));
    EXPECT_TRUE(view_.addresses.isEmpty());
    EXPECT_TRUE(view_.lines.isEmpty());
    EXPECT_EQ(fileLines(), first);
    EXPECT_EQ(view_.completions.size(), 2);

    ASSERT_TRUE(console_.run(request(QStringLiteral("127.0.0.254"), QStringLiteral("127.0.0.257"), QString())));
    EXPECT_EQ(view_.addresses, (QStringList{"127.0.0.254", "127.0.0.255", "127.0.0.256", "127.0.0.257"}));
    EXPECT_EQ(view_.pings[2], (RecordingView::Ping{QStringLiteral("---"), 2}));
    EXPECT_EQ(view_.pings[3], (RecordingView::Ping{QStringLiteral("---"), 2}));
    EXPECT_EQ(view_.lines, (QStringList{"> 127.0.0.254", Dashes, "> 127.0.0.255", Dashes}));
}

// "ABORT!" during the ping phase: the first row of the SNMP phase is still worked on; during the SNMP phase: the
// row in hand is finished. Either way the lines reach the file and the run completes.
TEST_F(ConsoleRun, AbortStopsAfterTheAddressInHand) {
    const int low = std::min(hostOf(printer()), hostOf(erringPrinter()));
    const int high = std::max(hostOf(printer()), hostOf(erringPrinter()));
    const ConsoleRequest both = request(loopback(low), loopback(high), QStringLiteral("1.3.6.1.2.1.1.1.0"));
    for (int host = low + 1; host < high; ++host) silence(loopback(host));
    const QStringList firstRow{"> " + loopback(low), "- 1.3.6.1.2.1.1.1.0 : " + SysDescr, Dashes};

    view_.onPing = [this] { console_.abort(); };
    ASSERT_TRUE(console_.run(both));
    EXPECT_EQ(view_.pingCalls, high - low + 1) << "the ping phase goes on to its end";
    EXPECT_EQ(view_.lines, firstRow);

    view_.onPing = nullptr;
    view_.onResult = [this](const QString &line) {
        if (line.startsWith(QLatin1String("> "))) console_.abort();
    };
    ASSERT_TRUE(console_.run(both));
    EXPECT_EQ(view_.lines, firstRow);
    EXPECT_EQ(fileLines(), firstRow + firstRow);
    EXPECT_EQ(view_.completions.size(), 2);
}

// A fault ends the run at once: the lines of the list so far (before the ping phase, still the previous run's) and
// the fault's description are appended, the controls restored, no completion message shown. (A fault in the middle
// of the SNMP phase: see the Set value beyond 32 bits.)
TEST_F(ConsoleRun, FaultEndsTheRunAndStillWritesTheLines) {
    ASSERT_TRUE(console_.run(request(printer(), printer(), QString())));
    const QStringList previous{"> " + printer(), Dashes};

    const std::pair<ConsoleRequest, QString> faults[] = {
        {request(QStringLiteral("127.0.0"), printer(), QString()), QStringLiteral("Subscript out of range")},
        {request(printer(), QStringLiteral("127.0.0"), QString()), QStringLiteral("Subscript out of range")},
        {request(QStringLiteral("127.0.0.x"), printer(), QString()), QStringLiteral("Type mismatch")},
        {request(printer(), QStringLiteral("127.0.0.70000"), QString()), QStringLiteral("Overflow")},
    };
    QStringList expected = previous;
    for (const auto &[faulty, description] : faults) {
        EXPECT_FALSE(console_.run(faulty));
        EXPECT_EQ(console_.faultDescription(), description);
        EXPECT_TRUE(view_.addresses.isEmpty());
        expected += previous + QStringList{description};
    }
    EXPECT_EQ(fileLines(), expected);
    EXPECT_EQ(view_.completions.size(), 1);
    EXPECT_EQ(view_.running, (std::vector<bool>{true, false, true, false, true, false, true, false, true, false}));
    EXPECT_FALSE(console_.running());

    EXPECT_TRUE(view_.failures.isEmpty());

    // The results file cannot be written: the window is told so with its path, and the run does not pass for
    // completed.
    store::setProgramFolder(folder_.filePath(QStringLiteral("missing")));
    EXPECT_FALSE(console_.run(request(printer(), printer(), QString())));
    EXPECT_EQ(console_.faultDescription(), QString());
    EXPECT_EQ(view_.failures, QStringList{"Cannot write " + folder_.filePath(QStringLiteral("missing/zovdata.txt"))});
    EXPECT_EQ(view_.completions.size(), 1);
}

// Two runs append both runs' lines. From the second run on, an address whose answering state changed since the
// previous run gets the change marker; one new to the run does not.
TEST_F(ConsoleRun, RunsAppendAndMarkAddressesThatChanged) {
    const auto icons = [this] {
        std::vector<int> shown;
        for (const auto &[row, ping] : view_.pings) shown.push_back(ping.icon);
        return shown;
    };
    silence(loopback(80));
    ASSERT_TRUE(console_.run(request(loopback(80), loopback(82), QString())));
    EXPECT_EQ(icons(), (std::vector<int>{2, 1, 1}));
    const QStringList first = view_.lines;
    EXPECT_EQ(first, (QStringList{"> " + loopback(81), Dashes, "> " + loopback(82), Dashes}));

    unsilence(loopback(80));
    silence(loopback(82));
    ASSERT_TRUE(console_.run(request(loopback(80), loopback(82), QString())));
    EXPECT_EQ(icons(), (std::vector<int>{3, 1, 3}));
    EXPECT_NE(view_.pings[0].time, QStringLiteral("---"));
    EXPECT_EQ(view_.pings[2].time, QStringLiteral("---"));
    const QStringList second = view_.lines;

    ASSERT_TRUE(console_.run(request(loopback(81), loopback(83), QString())));
    EXPECT_EQ(icons(), (std::vector<int>{1, 2, 1}));
    EXPECT_EQ(fileLines(), first + second + view_.lines);
}

} // namespace
