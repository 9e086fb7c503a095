#include "echochannel.h"

#include "icmpecho.h"
#include "shellping.h"

#include <QElapsedTimer>
#include <QHash>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QStringList>

#include <arpa/inet.h>
#include <linux/icmp.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <vector>

namespace discovery {
namespace {

constexpr char Payload[] = "PINGDATAMESSAGE";
constexpr qint64 NanosecondsPerMs = 1000000;
constexpr int MaxDatagramsPerWait = 1024; // a flood of foreign packets cannot hold a wait forever
constexpr int HangMarginMs = 5000;        // a system ping still running this long after its time-out has hung

QString systemError(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// One socket for the run; requests carry our identifier (a datagram socket's identifier is the kernel's, which
// also keeps other sockets' replies away from it) and a sequence number of their own.
class SocketChannel final : public EchoChannel {
public:
    enum class Kind { Datagram, Raw };

    SocketChannel(int fd, Kind kind, int slotCount)
        : fd_(fd), kind_(kind), identifier_(static_cast<quint16>(QRandomGenerator::global()->generate())),
          nextSequence_(static_cast<quint16>(QRandomGenerator::global()->generate())), requests_(slotCount) {
        clock_.start();
        if (kind_ == Kind::Raw) {
            icmp_filter onlyReplies{~(1U << ICMP_ECHOREPLY)}; // the kernel keeps everything else from us
            setsockopt(fd_, SOL_RAW, ICMP_FILTER, &onlyReplies, sizeof onlyReplies);
        }
    }
    SocketChannel(const SocketChannel &) = delete;
    SocketChannel &operator=(const SocketChannel &) = delete;
    ~SocketChannel() override { close(fd_); }

    QString method() const override {
        return kind_ == Kind::Raw ? QStringLiteral("raw ICMP socket") : QStringLiteral("datagram ICMP socket");
    }

    void send(int slot, const QString &address, int timeOutMs) override {
        Request &request = requests_.at(slot);
        const std::optional<quint32> destination = dottedAddress(address);
        if (!destination) {
            request.outcome = EchoOutcome{};
            return;
        }
        const quint16 sequence = nextSequence_++;
        giveUpSequence(sequence);
        const QByteArray packet = echoRequest(kind_ == Kind::Raw ? identifier_ : 0, sequence, Payload);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(*destination);
        request.address = *destination;
        request.sentAt = clock_.nsecsElapsed();
        request.deadline = request.sentAt + std::max(timeOutMs, 0) * NanosecondsPerMs;
        if (sendto(fd_, packet.constData(), static_cast<size_t>(packet.size()), 0, reinterpret_cast<sockaddr *>(&to),
                   sizeof to) < 0) {
            request.outcome = EchoOutcome{};
            return;
        }
        waiting_.insert(sequence, slot);
    }

    void wait(int ms) override {
        pollfd readable{fd_, POLLIN, 0};
        const timespec limit = timeToWait(ms);
        if (ppoll(&readable, 1, &limit, nullptr) > 0) receive();
        expire();
    }

    std::optional<EchoOutcome> outcome(int slot) const override { return requests_.at(slot).outcome; }

private:
    struct Request {
        quint32 address = 0;
        qint64 sentAt = 0, deadline = 0; // ns on clock_
        std::optional<EchoOutcome> outcome;
    };

    // The sequence numbers go round after 65536 requests: a request still waiting under the number we are about
    // to reuse fails, so that a reply is never given to the wrong one.
    void giveUpSequence(quint16 sequence) {
        const auto older = waiting_.constFind(sequence);
        if (older == waiting_.constEnd()) return;
        requests_[*older].outcome = EchoOutcome{};
        waiting_.erase(older);
    }

    // Until the first waiting request's time runs out, at most ms.
    timespec timeToWait(int ms) const {
        qint64 wait = std::max(ms, 0) * NanosecondsPerMs;
        const qint64 now = clock_.nsecsElapsed();
        for (const int slot : waiting_) wait = std::min(wait, std::max<qint64>(requests_[slot].deadline - now, 0));
        return timespec{static_cast<time_t>(wait / 1000000000), static_cast<long>(wait % 1000000000)};
    }

    void receive() {
        char buffer[2048];
        for (int datagrams = 0; datagrams < MaxDatagramsPerWait; ++datagrams) {
            sockaddr_in from{};
            socklen_t fromSize = sizeof from;
            const ssize_t size =
                recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr *>(&from), &fromSize);
            if (size < 0 && errno == EINTR) continue;
            if (size < 0) return; // nothing more for now
            if (fromSize < sizeof from || from.sin_family != AF_INET) continue;
            const std::optional<EchoReplyIds> reply =
                readEchoReply(QByteArrayView(buffer, size), kind_ == Kind::Raw);
            if (reply) accept(*reply, ntohl(from.sin_addr.s_addr));
        }
    }

    void accept(const EchoReplyIds &reply, quint32 source) {
        if (kind_ == Kind::Raw && reply.identifier != identifier_) return; // another program's ping
        const auto waiting = waiting_.constFind(reply.sequence);
        if (waiting == waiting_.constEnd()) return; // late, duplicate or never asked for
        Request &request = requests_[*waiting];
        if (request.address != source) return;
        const qint64 roundTrip = clock_.nsecsElapsed() - request.sentAt;
        request.outcome = EchoOutcome{true, static_cast<int>(roundTrip / NanosecondsPerMs)};
        waiting_.erase(waiting);
    }

    void expire() {
        const qint64 now = clock_.nsecsElapsed();
        for (auto waiting = waiting_.begin(); waiting != waiting_.end();) {
            Request &request = requests_[*waiting];
            if (now < request.deadline) {
                ++waiting;
                continue;
            }
            request.outcome = EchoOutcome{};
            waiting = waiting_.erase(waiting);
        }
    }

    const int fd_;
    const Kind kind_;
    const quint16 identifier_;
    quint16 nextSequence_;
    std::vector<Request> requests_;
    QHash<quint16, int> waiting_; // sequence → slot of a request waiting for its reply
    QElapsedTimer clock_;
};

// The system ping, `ping -n -c 1 -W SECONDS ADDRESS`, one child per request, at most maxRunning at a time; the
// address is handed over in its canonical dotted form, never as typed, and never through a shell.
class ProcessChannel final : public EchoChannel {
public:
    ProcessChannel(QString program, int slotCount, int maxRunning)
        : program_(std::move(program)), maxRunning_(std::max(maxRunning, 1)), requests_(slotCount),
          environment_(QProcessEnvironment::systemEnvironment()) {
        environment_.insert(QStringLiteral("LC_ALL"), QStringLiteral("C")); // the English reply line
    }
    ProcessChannel(const ProcessChannel &) = delete;
    ProcessChannel &operator=(const ProcessChannel &) = delete;
    // A ping still running (its run cut short) is ended and reaped.
    ~ProcessChannel() override {
        for (const int slot : running_) {
            requests_[slot].process->kill();
            requests_[slot].process->waitForFinished();
        }
    }

    QString method() const override { return QStringLiteral("system ping"); }

    void send(int slot, const QString &address, int timeOutMs) override {
        Request &request = requests_.at(slot);
        const std::optional<quint32> destination = dottedAddress(address);
        if (!destination) {
            request.outcome = EchoOutcome{};
            return;
        }
        request.address = QStringLiteral("%1.%2.%3.%4")
                              .arg(*destination >> 24)
                              .arg((*destination >> 16) & 0xFF)
                              .arg((*destination >> 8) & 0xFF)
                              .arg(*destination & 0xFF);
        request.timeOutMs = timeOutMs;
        queued_.push_back(slot);
        startQueued();
    }

    void wait(int ms) override {
        if (!running_.empty()) requests_[running_.front()].process->waitForFinished(std::max(ms, 0));
        const std::vector<int> running = running_;
        for (const int slot : running) {
            QProcess &process = *requests_[slot].process;
            if (process.state() == QProcess::NotRunning || process.waitForFinished(0)) {
                finish(slot);
            } else if (requests_[slot].started.hasExpired(qint64(requests_[slot].timeOutMs) + HangMarginMs)) {
                process.kill();
                process.waitForFinished();
                finish(slot);
            }
        }
        startQueued();
    }

    std::optional<EchoOutcome> outcome(int slot) const override { return requests_.at(slot).outcome; }

    QString problem() const override { return problem_; }

private:
    struct Request {
        QString address;
        int timeOutMs = 0;
        std::unique_ptr<QProcess> process;
        QElapsedTimer started;
        std::optional<EchoOutcome> outcome;
    };

    // ping waits for -W seconds (fractions allowed, 0 would mean for ever).
    static QString seconds(int ms) { return QString::number(std::max(ms, 1) / 1000.0, 'f', 3); }

    void startQueued() {
        while (!queued_.empty() && static_cast<int>(running_.size()) < maxRunning_) {
            const int slot = queued_.front();
            queued_.pop_front();
            start(slot);
        }
    }

    void start(int slot) {
        Request &request = requests_[slot];
        request.process = std::make_unique<QProcess>();
        QProcess &process = *request.process;
        process.setProgram(program_);
        process.setArguments({QStringLiteral("-n"), QStringLiteral("-c"), QStringLiteral("1"), QStringLiteral("-W"),
                              seconds(request.timeOutMs), request.address});
        process.setProcessEnvironment(environment_);
        process.setStandardInputFile(QProcess::nullDevice());
        process.start();
        if (!process.waitForStarted()) {
            problem_ = QStringLiteral("system ping: cannot run %1: %2").arg(program_, process.errorString());
            request.outcome = EchoOutcome{};
            request.process.reset();
            return;
        }
        request.started.start();
        running_.push_back(slot);
    }

    // Exit status 0: a reply; 1: none; anything else: ping itself failed, which is worth telling.
    void finish(int slot) {
        Request &request = requests_[slot];
        QProcess &process = *request.process;
        const short time = roundTripFromOutput(process);
        request.outcome = EchoOutcome{time >= 0, time};
        if (process.exitStatus() != QProcess::NormalExit || process.exitCode() > 1) {
            const QString message = QString::fromLocal8Bit(process.readAllStandardError()).section(u'\n', 0, 0);
            problem_ = QStringLiteral("system ping failed: %1")
                           .arg(message.isEmpty() ? QStringLiteral("exit status %1").arg(process.exitCode()) : message);
        }
        request.process.reset();
        running_.erase(std::find(running_.begin(), running_.end(), slot));
    }

    const QString program_;
    const int maxRunning_;
    std::vector<Request> requests_;
    QProcessEnvironment environment_;
    std::deque<int> queued_;
    std::vector<int> running_;
    QString problem_;
};

int openIcmpSocket(int type) { return socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP); }

} // namespace

std::unique_ptr<EchoChannel> openEchoChannel(int slotCount, int maxProcesses, QString &why) {
    QStringList reasons;
    int fd = openIcmpSocket(SOCK_DGRAM);
    if (fd >= 0) return std::make_unique<SocketChannel>(fd, SocketChannel::Kind::Datagram, slotCount);
    int error = errno;
    reasons << QStringLiteral("no datagram ICMP socket (%1%2)")
                   .arg(systemError(error), error == EACCES ? QStringLiteral(": net.ipv4.ping_group_range leaves "
                                                                             "this group out")
                                                            : QString());
    fd = openIcmpSocket(SOCK_RAW);
    if (fd >= 0) return std::make_unique<SocketChannel>(fd, SocketChannel::Kind::Raw, slotCount);
    error = errno;
    reasons << QStringLiteral("no raw ICMP socket (%1%2)")
                   .arg(systemError(error), error == EPERM ? QStringLiteral(": needs root or CAP_NET_RAW") : QString());
    const QString program = QStandardPaths::findExecutable(QStringLiteral("ping"));
    if (!program.isEmpty()) return std::make_unique<ProcessChannel>(program, slotCount, maxProcesses);
    reasons << QStringLiteral("no ping program on the PATH");
    why = QStringLiteral("cannot ping: ") + reasons.join(QLatin1String(", "));
    return nullptr;
}

} // namespace discovery
