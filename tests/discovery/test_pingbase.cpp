// The parallel pinger in a network namespace of the test's own, where 127.0.0.0/8 answers and 198.18.0.x (but .1)
// is silent: windows, outcomes, the final sweep, refusal, TimeOutAll, each way of pinging, and forged replies. A
// raw socket of the test's own sees the echo requests sent to loopback addresses and forges replies.
#include "discovery/pingbase.h"
#include "platform/eventpump.h"
#include "support/privatenetwork.h"
#include "support/qtapplication.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <linux/capability.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

using discovery::ClassPingBase;

struct Event {
    bool success = false;
    QString address;
    int status = 0;
    int index = 0;
    qint64 atMs = 0;
};

// Every event of a pinger, with the time it came, and an optional hook run inside the handler.
class Recorder {
public:
    explicit Recorder(ClassPingBase &pinger) {
        clock_.start();
        QObject::connect(&pinger, &ClassPingBase::PingSuccess,
                         [this](const QString &address, int status, int index) { record(true, address, status, index); });
        QObject::connect(&pinger, &ClassPingBase::PingFail,
                         [this](const QString &address, int status, int index) { record(false, address, status, index); });
    }

    std::vector<Event> events;
    std::function<void(const Event &)> onEvent;

    const Event *eventOf(int index) const {
        const auto found = std::find_if(events.begin(), events.end(), [&](const Event &e) { return e.index == index; });
        return found == events.end() ? nullptr : &*found;
    }

private:
    void record(bool success, const QString &address, int status, int index) {
        events.push_back({success, address, status, index, clock_.elapsed()});
        if (onEvent) onEvent(events.back());
    }
    QElapsedTimer clock_;
};

// Exactly one event for every index 0 to count-1, none for any other, each with its own address.
void expectOneEventPerIndex(const std::vector<Event> &events, const QStringList &addresses, int count) {
    std::multiset<int> indices;
    for (const Event &event : events) {
        indices.insert(event.index);
        ASSERT_TRUE(event.index >= 0 && event.index < count) << "event for index " << event.index;
        EXPECT_EQ(event.address, addresses[event.index]);
        if (!event.success) {
            EXPECT_EQ(event.status, -1);
        }
    }
    EXPECT_EQ(indices.size(), static_cast<std::size_t>(count));
    for (int index = 0; index < count; ++index) EXPECT_EQ(indices.count(index), 1u) << "index " << index;
}

struct SeenRequest {
    std::string destination;
    quint16 identifier = 0, sequence = 0;
};

quint16 bigEndian16(const unsigned char *bytes) { return static_cast<quint16>(bytes[0] << 8 | bytes[1]); }

// A raw ICMP socket of the test: it sees every echo request sent to a loopback address, and forges packets.
class Wire {
public:
    Wire()
        : listen_(socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP)),
          send_(socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_RAW)) {}
    ~Wire() {
        close(listen_);
        close(send_);
    }
    bool ready() const { return listen_ >= 0 && send_ >= 0; }

    // The echo requests seen so far.
    const std::vector<SeenRequest> &requests() {
        unsigned char packet[2048];
        for (ssize_t size; (size = recv(listen_, packet, sizeof packet, 0)) >= 0;) {
            const int header = (packet[0] & 0x0F) * 4;
            if (size < header + 8 || packet[header] != 8) continue;
            char destination[INET_ADDRSTRLEN];
            inet_ntop(AF_INET, packet + 16, destination, sizeof destination);
            seen_.push_back({destination, bigEndian16(packet + header + 4), bigEndian16(packet + header + 6)});
        }
        return seen_;
    }
    std::vector<SeenRequest> requestsTo(const std::string &destination) {
        std::vector<SeenRequest> found;
        for (const SeenRequest &request : requests())
            if (request.destination == destination) found.push_back(request);
        return found;
    }

    // Sends an ICMP packet from source (any address) to destination (a local one) with its own IP header.
    void forge(const std::string &source, const std::string &destination, quint8 type, quint16 identifier,
               quint16 sequence, bool rightChecksum = true) {
        std::string icmp{static_cast<char>(type), 0, 0, 0, static_cast<char>(identifier >> 8),
                         static_cast<char>(identifier), static_cast<char>(sequence >> 8), static_cast<char>(sequence)};
        icmp += "PINGDATAMESSAGE";
        const quint16 sum = checksum(icmp) ^ (rightChecksum ? 0 : 0x0101);
        icmp[2] = static_cast<char>(sum >> 8);
        icmp[3] = static_cast<char>(sum);
        std::string ip(20, '\0');
        ip[0] = 0x45;
        ip[8] = 64;
        ip[9] = 1;
        inet_pton(AF_INET, source.c_str(), &ip[12]);
        inet_pton(AF_INET, destination.c_str(), &ip[16]);
        const std::string packet = ip + icmp;
        sockaddr_in to{};
        to.sin_family = AF_INET;
        inet_pton(AF_INET, destination.c_str(), &to.sin_addr);
        ASSERT_EQ(sendto(send_, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr *>(&to), sizeof to),
                  static_cast<ssize_t>(packet.size()));
    }

private:
    static quint16 checksum(const std::string &bytes) {
        quint32 sum = 0;
        for (std::size_t at = 0; at + 1 < bytes.size(); at += 2)
            sum += bigEndian16(reinterpret_cast<const unsigned char *>(bytes.data()) + at);
        if (bytes.size() % 2) sum += static_cast<quint32>(static_cast<unsigned char>(bytes.back())) << 8;
        while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
        return static_cast<quint16>(~sum);
    }

    int listen_, send_;
    std::vector<SeenRequest> seen_;
};

// Takes CAP_NET_RAW out of this thread's effective capabilities while it lives: no raw socket can be opened (the
// programs it starts get their capabilities afresh).
class WithoutRawSockets {
public:
    WithoutRawSockets() {
        if (syscall(SYS_capget, &header_, saved_) != 0) return;
        __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
        reduced[CAP_TO_INDEX(CAP_NET_RAW)].effective &= ~CAP_TO_MASK(CAP_NET_RAW);
        dropped_ = syscall(SYS_capset, &header_, reduced) == 0;
    }
    ~WithoutRawSockets() {
        if (dropped_) syscall(SYS_capset, &header_, saved_);
    }
    bool dropped() const { return dropped_; }

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
    bool dropped_ = false;
};

class ScopedPath {
public:
    explicit ScopedPath(const QByteArray &path) : old_(qgetenv("PATH")) { qputenv("PATH", path); }
    ~ScopedPath() { qputenv("PATH", old_); }

private:
    QByteArray old_;
};

class Pinger : public testing::Test {
protected:
    void SetUp() override {
        testsupport::ensureCoreApplication();
        ASSERT_TRUE(network_.ready()) << network_.failure();
        ASSERT_TRUE(wire_.ready()) << "no raw socket for the test";
    }

    testsupport::PrivateNetwork network_;
    Wire wire_;
};

// 250 slots, one in ten answering: three windows (0-100, 101-200, 201-249), each waiting for its silent requests'
// time-out before the next one goes out; the element at 250 is never pinged.
TEST_F(Pinger, ThreeWindowsOfAnsweringAndSilentAddresses) {
    QStringList addresses;
    for (int i = 0; i < 250; ++i)
        addresses << (i % 10 == 3 ? QStringLiteral("127.0.0.%1").arg(100 + i / 10) : QStringLiteral("198.18.0.%1").arg(2 + i));
    addresses << QStringLiteral("127.0.0.250");
    ClassPingBase pinger;
    EXPECT_EQ(pinger.NumParalellActions(), 500);
    pinger.setNumParalellActions(100);
    Recorder recorder(pinger);
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(pinger.PingHostList(addresses, 100, 10000));
    const qint64 elapsed = clock.elapsed();
    EXPECT_FALSE(pinger.ListPingRunning());
    EXPECT_EQ(pinger.lastMethod(), QStringLiteral("raw ICMP socket"));

    expectOneEventPerIndex(recorder.events, addresses, 250);
    for (const Event &event : recorder.events) {
        EXPECT_EQ(event.success, event.index % 10 == 3) << event.index;
        if (event.success) {
            EXPECT_TRUE(event.status >= 0 && event.status < 100) << event.status;
        }
    }
    const auto windowOf = [](int index) { return index <= 100 ? 0 : index <= 200 ? 1 : 2; };
    qint64 lastOf[3] = {0, 0, 0}, firstSilentOf[3] = {1 << 30, 1 << 30, 1 << 30};
    for (const Event &event : recorder.events) {
        const int window = windowOf(event.index);
        lastOf[window] = std::max(lastOf[window], event.atMs);
        if (!event.success) firstSilentOf[window] = std::min(firstSilentOf[window], event.atMs);
    }
    for (int window = 0; window < 2; ++window) {
        EXPECT_LE(lastOf[window], firstSilentOf[window + 1]) << "window " << window + 1 << " went out too early";
        EXPECT_GE(firstSilentOf[window + 1] - firstSilentOf[window], 90) << "window " << window + 1;
    }
    EXPECT_GE(elapsed, 290);
    EXPECT_LT(elapsed, 1500);

    std::set<quint16> identifiers, sequences;
    for (int i = 3; i < 250; i += 10) {
        const auto requests = wire_.requestsTo(addresses[i].toStdString());
        ASSERT_EQ(requests.size(), 1u) << addresses[i].toStdString();
        identifiers.insert(requests[0].identifier);
        sequences.insert(requests[0].sequence);
    }
    EXPECT_EQ(identifiers.size(), 1u) << "one socket, one identifier for the run";
    EXPECT_EQ(sequences.size(), 25u);
    EXPECT_TRUE(wire_.requestsTo("127.0.0.250").empty()) << "the element at the upper bound was pinged";
}

TEST_F(Pinger, UpperBoundsZeroAndOne) {
    ClassPingBase pinger;
    Recorder recorder(pinger);
    QStringList none, one{QStringLiteral("127.0.0.7")};
    pinger.PingHostList(none, 100, 1000);
    pinger.PingHostList(one, 100, 1000);
    EXPECT_TRUE(recorder.events.empty());
    EXPECT_TRUE(wire_.requestsTo("127.0.0.7").empty());

    QStringList answering{QStringLiteral("127.0.0.7"), QString()};
    pinger.PingHostList(answering, 100, 1000);
    ASSERT_EQ(recorder.events.size(), 1u);
    EXPECT_TRUE(recorder.events[0].success);
    EXPECT_EQ(recorder.events[0].index, 0);
    EXPECT_EQ(recorder.events[0].address, QStringLiteral("127.0.0.7"));

    // A silent one is given its whole TimeOutHost before it counts as silent.
    QStringList silent{QStringLiteral("198.18.0.7"), QStringLiteral("127.0.0.8")};
    QElapsedTimer clock;
    clock.start();
    pinger.PingHostList(silent, 100, 1000);
    ASSERT_EQ(recorder.events.size(), 2u);
    EXPECT_FALSE(recorder.events[1].success);
    EXPECT_EQ(recorder.events[1].index, 0);
    EXPECT_GE(clock.elapsed(), 95);
    EXPECT_LT(clock.elapsed(), 400);
}

// A handler (or a window message handled during a poll) cannot start a second run: it sends nothing and raises
// nothing, and the first run goes on undisturbed.
TEST_F(Pinger, SecondRunWhileOneIsGoingIsRefused) {
    ClassPingBase pinger;
    Recorder recorder(pinger);
    QStringList addresses{QStringLiteral("127.0.0.21"), QStringLiteral("198.18.0.21"), QStringLiteral("127.0.0.22"), {}};
    QStringList intruder{QStringLiteral("127.0.0.77"), {}};
    int refusals = 0, pumps = 0;
    recorder.onEvent = [&](const Event &) {
        EXPECT_TRUE(pinger.ListPingRunning());
        EXPECT_FALSE(pinger.PingHostList(intruder, 100, 1000));
        ++refusals;
    };
    platform::setEventPump([&] {
        ++pumps;
        EXPECT_FALSE(pinger.PingHostList(intruder, 100, 1000));
    });
    pinger.PingHostList(addresses, 100, 1000);
    platform::setEventPump(nullptr);
    EXPECT_EQ(refusals, 3);
    EXPECT_GE(pumps, 10) << "the pump runs between polls while the silent address is waited for";
    expectOneEventPerIndex(recorder.events, addresses, 3);
    EXPECT_TRUE(recorder.eventOf(0)->success && !recorder.eventOf(1)->success && recorder.eventOf(2)->success);
    EXPECT_TRUE(wire_.requestsTo("127.0.0.77").empty());
    EXPECT_FALSE(pinger.ListPingRunning());

    recorder.onEvent = nullptr;
    pinger.PingHostList(intruder, 100, 1000);
    EXPECT_EQ(recorder.events.back().address, QStringLiteral("127.0.0.77")) << "the object runs again afterwards";
}

// TimeOutAll ends the run in the second window: what has not completed, sent or not, is reported through PingFail
// in index order, last.
TEST_F(Pinger, TimeOutAllCutsTheRunShort) {
    QStringList addresses;
    for (int i = 0; i < 250; ++i) addresses << QStringLiteral("198.18.0.%1").arg(2 + i);
    addresses[210] = QStringLiteral("127.0.0.210"); // third window: never sent
    addresses << QString();
    ClassPingBase pinger;
    pinger.setNumParalellActions(100);
    Recorder recorder(pinger);
    QElapsedTimer clock;
    clock.start();
    pinger.PingHostList(addresses, 100, 150);
    EXPECT_LT(clock.elapsed(), 250);
    expectOneEventPerIndex(recorder.events, addresses, 250);
    ASSERT_EQ(recorder.events.size(), 250u);
    for (int i = 0; i < 101; ++i) EXPECT_LE(recorder.events[i].index, 100) << "first window first";
    for (int i = 101; i < 250; ++i) EXPECT_EQ(recorder.events[i].index, i) << "final sweep in index order";
    for (const Event &event : recorder.events) EXPECT_FALSE(event.success);
    EXPECT_TRUE(wire_.requestsTo("127.0.0.210").empty());
}

// Forged replies while a run waits: another program's identifier, the right numbers from the wrong address, a
// wrong checksum, an echo request instead of a reply are all ignored; a reply with the right identifier,
// sequence and source is taken (the check that the forging reaches the pinger at all).
class ForgedReplies : public Pinger, public testing::WithParamInterface<const char *> {};

TEST_P(ForgedReplies, OnlyTheRightIdentifierSequenceAndSourceCount) {
    const QString method = QString::fromLatin1(GetParam());
    if (method == QLatin1String("datagram ICMP socket")) {
        ASSERT_TRUE(network_.sysctl("net.ipv4.ping_group_range", "0 2147483647")) << network_.failure();
    }
    QStringList addresses{QStringLiteral("127.0.0.1"), QStringLiteral("198.18.0.11"), QStringLiteral("198.18.0.12"),
                          QStringLiteral("198.18.0.13"), QString()};
    ClassPingBase pinger;
    Recorder recorder(pinger);
    recorder.onEvent = [&](const Event &event) {
        if (event.index != 0) return;
        const auto requests = wire_.requestsTo("127.0.0.1");
        ASSERT_EQ(requests.size(), 1u);
        const quint16 identifier = requests[0].identifier;
        for (quint16 sequence = requests[0].sequence; sequence != quint16(requests[0].sequence + 4); ++sequence) {
            for (const std::string silent : {"198.18.0.11", "198.18.0.12"}) {
                wire_.forge(silent, "198.18.0.1", 0, identifier ^ 0x5555, sequence);
                wire_.forge("127.0.0.1", "127.0.0.1", 0, identifier, sequence);
                wire_.forge(silent, "198.18.0.1", 0, identifier, sequence, false);
                wire_.forge(silent, "198.18.0.1", 8, identifier, sequence);
            }
            wire_.forge("198.18.0.13", "198.18.0.1", 0, identifier, sequence);
        }
    };
    pinger.PingHostList(addresses, 300, 2000);
    EXPECT_EQ(pinger.lastMethod(), method);
    expectOneEventPerIndex(recorder.events, addresses, 4);
    ASSERT_EQ(recorder.events.size(), 4u);
    EXPECT_TRUE(recorder.eventOf(0)->success);
    EXPECT_FALSE(recorder.eventOf(1)->success);
    EXPECT_FALSE(recorder.eventOf(2)->success);
    EXPECT_TRUE(recorder.eventOf(3)->success) << "the forged packets never reached the pinger";
}

INSTANTIATE_TEST_SUITE_P(Sockets, ForgedReplies, testing::Values("datagram ICMP socket", "raw ICMP socket"));

// Every way of pinging gives the same outcomes; a text that is not a dotted IPv4 address is never sent anything.
class EachWay : public Pinger, public testing::WithParamInterface<const char *> {};

TEST_P(EachWay, SameOutcomes) {
    const QString method = QString::fromLatin1(GetParam());
    if (method == QLatin1String("datagram ICMP socket")) {
        ASSERT_TRUE(network_.sysctl("net.ipv4.ping_group_range", "0 2147483647")) << network_.failure();
    }
    std::optional<WithoutRawSockets> withoutRaw;
    if (method == QLatin1String("system ping")) {
        withoutRaw.emplace();
        ASSERT_TRUE(withoutRaw->dropped());
    }
    QStringList addresses{QStringLiteral("127.0.0.1"),  QStringLiteral("198.18.0.5"), QStringLiteral("198.18.0.1"),
                          QStringLiteral("printer.example"), QStringLiteral("127.0.0.300"), QStringLiteral("-c"),
                          QStringLiteral("127.0.0.2"), QString()};
    ClassPingBase pinger;
    pinger.setNumParalellActions(3);
    Recorder recorder(pinger);
    pinger.PingHostList(addresses, 200, 3000);
    EXPECT_EQ(pinger.lastMethod(), method);
    EXPECT_EQ(pinger.lastError(), QString());
    expectOneEventPerIndex(recorder.events, addresses, 7);
    for (const Event &event : recorder.events)
        EXPECT_EQ(event.success, event.index == 0 || event.index == 2 || event.index == 6) << event.index;
    EXPECT_GE(pinger.PingHostSingle(QStringLiteral("127.0.0.3"), 10), 0);
    EXPECT_EQ(pinger.PingHostSingle(QStringLiteral("999.1.1.1"), 10), -1);
}

INSTANTIATE_TEST_SUITE_P(Methods, EachWay,
                         testing::Values("datagram ICMP socket", "raw ICMP socket", "system ping"));

TEST_F(Pinger, NoWayToPingReportsEveryAddressAndSaysWhy) {
    const WithoutRawSockets withoutRaw;
    ASSERT_TRUE(withoutRaw.dropped());
    const ScopedPath path("/nonexistent");
    QStringList addresses{QStringLiteral("127.0.0.1"), QStringLiteral("198.18.0.5"), QStringLiteral("127.0.0.2"), {}};
    ClassPingBase pinger;
    Recorder recorder(pinger);
    pinger.PingHostList(addresses, 100, 1000);
    ASSERT_EQ(recorder.events.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(recorder.events[i].success);
        EXPECT_EQ(recorder.events[i].index, i);
    }
    EXPECT_EQ(pinger.lastMethod(), QString());
    const QString why = pinger.lastError();
    for (const char *part : {"cannot ping", "ping_group_range", "CAP_NET_RAW", "no ping program"})
        EXPECT_TRUE(why.contains(QLatin1String(part))) << why.toStdString();
    EXPECT_EQ(pinger.PingHostSingle(QStringLiteral("127.0.0.1"), 1000), -2);
    EXPECT_EQ(pinger.lastError(), why);
}

// A system ping that cannot do its work is not mistaken for silence without a word.
TEST_F(Pinger, FailingSystemPingIsExplained) {
    const WithoutRawSockets withoutRaw;
    ASSERT_TRUE(withoutRaw.dropped());
    QTemporaryDir bin;
    QFile script(bin.filePath(QStringLiteral("ping")));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\necho 'ping: socket: Operation not permitted' >&2\nexit 2\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
    const ScopedPath path(bin.path().toLocal8Bit());
    QStringList addresses{QStringLiteral("127.0.0.1"), {}};
    ClassPingBase pinger;
    Recorder recorder(pinger);
    pinger.PingHostList(addresses, 100, 1000);
    EXPECT_EQ(pinger.lastMethod(), QStringLiteral("system ping"));
    ASSERT_EQ(recorder.events.size(), 1u);
    EXPECT_FALSE(recorder.events[0].success);
    EXPECT_EQ(pinger.lastError(), QStringLiteral("system ping failed: ping: socket: Operation not permitted"));
}

TEST_F(Pinger, PingHostSingleWaitsItsFixedSecond) {
    ClassPingBase pinger;
    EXPECT_GE(pinger.PingHostSingle(QStringLiteral("127.0.0.1"), 5000), 0);
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(pinger.PingHostSingle(QStringLiteral("198.18.0.5"), 50), -1);
    EXPECT_GE(clock.elapsed(), 990);
    EXPECT_LT(clock.elapsed(), 1500);
}

} // namespace
