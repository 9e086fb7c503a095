// The command-line ping: the reply-line reading on real outputs, the temporary file, the child process (through
// stand-in ping programs), and the real ping on loopback and on a silent address of a namespace of our own.
#include "discovery/shellping.h"
#include "platform/fault.h"
#include "support/privatenetwork.h"
#include "support/realagents.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <unistd.h>

#include <cstring>
#include <optional>

namespace {

using testsupport::runCommand;

// Sets an environment variable (unsets it for a null text) for the lifetime of the object.
class ScopedVariable {
public:
    ScopedVariable(const char *name, const QString &value)
        : name_(name), old_(qgetenv(name)), had_(qEnvironmentVariableIsSet(name)) {
        value.isNull() ? qunsetenv(name) : qputenv(name, value.toLocal8Bit());
    }
    ~ScopedVariable() { had_ ? qputenv(name_, old_) : qunsetenv(name_); }

private:
    const char *name_;
    QByteArray old_;
    bool had_;
};

QStringList pinFiles(const QString &folder) { return QDir(folder).entryList({QStringLiteral("pin*")}, QDir::Files); }

// Each test gets its own temporary folder through "temp" and must leave no "pin" file in it.
class ShellPing : public testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(pinFiles(temp_.path()), QStringList()); }
    QTemporaryDir temp_;
    ScopedVariable tempVariable_{"temp", temp_.path()};
};

// A network namespace of the test's own: loopback answers, every 198.18.0.x but our own end is silent.
class PrivateNetwork : public ShellPing {
protected:
    void SetUp() override {
        if (!network_.ready()) GTEST_SKIP() << "no private network namespace: " << network_.failure();
    }

private:
    testsupport::PrivateNetwork network_;
};

TEST(ReplyLine, TimeAfterEqualsOrLessThan) {
    const std::pair<const char *, std::optional<short>> cases[] = {
        {"64 bytes from 127.0.0.1: icmp_seq=1 ttl=64 time=0.045 ms", 1},
        {"64 bytes from 127.0.0.1: icmp_seq=1 ttl=64 time=23.4 ms", 23},
        {"64 bytes from 127.0.0.1: icmp_seq=1 ttl=64 time=1.999 ms", 1},
        {"64 bytes from 127.0.0.1: icmp_seq=1 ttl=64 time=1021 ms", 1021},
        {"64 bytes from 127.0.0.1: icmp_seq=1 ttl=64 time=32767 ms", 32767},
        {"Reply from 10.0.0.5: bytes=32 time<1ms TTL=64", 1},
        {"Reply from 10.0.0.5: bytes=32 time=15ms TTL=64", 15},
        {"Reply from 10.0.0.5: bytes=32 time=0ms TTL=64", 1},
        {"Antwort von 10.0.0.5: Bytes=32 Zeit=7ms TTL=64", 7},
        // reply lines whose time does not fit a signed 16-bit number
        {"64 bytes from 127.0.0.1: icmp_seq=1 ttl=64 time=32768 ms", -1},
        {"64 bytes from 127.0.0.1: icmp_seq=1 ttl=64 time=99999 ms", -1},
        {"Reply from 10.0.0.5: bytes=32 time=184467440737095516160ms TTL=64", -1},
        // no reply lines: statistics and summaries, errors, garbage
        {"1 packets transmitted, 0 received, 100% packet loss, time 0ms", std::nullopt},
        {"1 packets transmitted, 1 received, 0% packet loss, time 1002ms", std::nullopt},
        {"rtt min/avg/max/mdev = 0.206/0.206/0.206/0.000 ms", std::nullopt},
        {"    Minimum = 0ms, Maximum = 0ms, Average = 0ms", std::nullopt},
        {"PING 127.0.0.1 (127.0.0.1) 56(84) bytes of data.", std::nullopt},
        {"From 198.18.0.1 icmp_seq=1 Destination Host Unreachable", std::nullopt},
        {"Request timed out.", std::nullopt},
        {"time=ms", std::nullopt},
        {"time=-5 ms", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto &[line, expected] : cases)
        EXPECT_EQ(discovery::replyTime(QString::fromUtf8(line)), expected) << line;
}

TEST(ReplyLine, FirstReplyLineOfAnOutputDecides) {
    const std::pair<const char *, short> cases[] = {
        {"PING 127.0.0.1 (127.0.0.1) 56(84) bytes of data.\n64 bytes from 127.0.0.1: icmp_seq=1 ttl=64 time=2.50 ms\n\n"
         "--- 127.0.0.1 ping statistics ---\n1 packets transmitted, 1 received, 0% packet loss, time 0ms\n"
         "rtt min/avg/max/mdev = 2.500/2.500/2.500/0.000 ms\n",
         2},
        {"PING 198.18.0.5 (198.18.0.5) 56(84) bytes of data.\n\n--- 198.18.0.5 ping statistics ---\n"
         "1 packets transmitted, 0 received, 100% packet loss, time 0ms\n\n",
         -1},
        {"\r\nPinging 10.0.0.5 with 32 bytes of data:\r\nReply from 10.0.0.5: bytes=32 time=15ms TTL=64\r\n", 15},
        {"Reply from 10.0.0.5: bytes=32 time=99999ms TTL=64\nReply from 10.0.0.5: bytes=32 time=3ms TTL=64\n", -1},
        {"", -1},
    };
    for (const auto &[output, expected] : cases) {
        QByteArray bytes(output);
        QBuffer buffer(&bytes);
        ASSERT_TRUE(buffer.open(QIODevice::ReadOnly));
        EXPECT_EQ(discovery::roundTripFromOutput(buffer), expected) << output;
    }
}

TEST_F(ShellPing, MakeTempFileNameFallsBackToTheNextFolder) {
    const QString fileThere = temp_.filePath(QStringLiteral("plain-file"));
    QFile(fileThere).open(QIODevice::WriteOnly);
    QTemporaryDir fallback;
    const ScopedVariable tmpdir("TMPDIR", fallback.path());
    const QString firstChoices[] = {temp_.path(), temp_.filePath(QStringLiteral("missing")), fileThere, QString(),
                                    QStringLiteral("")};
    for (const QString &first : firstChoices) {
        const ScopedVariable temp("temp", first);
        const QString name = discovery::MakeTempFileName();
        const QString wanted = first == temp_.path() ? temp_.path() : fallback.path();
        EXPECT_EQ(QFileInfo(name).absolutePath(), QFileInfo(wanted).absoluteFilePath()) << first.toStdString();
        EXPECT_TRUE(QFileInfo(name).fileName().startsWith(QStringLiteral("pin")));
        EXPECT_EQ(QFileInfo(name).size(), 0);
        EXPECT_NE(discovery::MakeTempFileName(), name) << "names are unique";
        for (const QString &made : pinFiles(wanted)) QFile::remove(QDir(wanted).filePath(made));
    }
}

// Stand-in ping programs show what is run, with which arguments, and which output is read.
TEST_F(ShellPing, RunsPingWithAnArgumentListAndReadsItsStandardOutput) {
    QTemporaryDir bin;
    const QString recorded = bin.filePath(QStringLiteral("arguments"));
    const ScopedVariable path("PATH", bin.path());
    const ScopedVariable record("RECORD", recorded);
    const auto install = [&](const QString &body, bool executable = true) {
        QFile script(bin.filePath(QStringLiteral("ping")));
        script.remove();
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write(("#!/bin/sh\nprintf '%s\\n' \"$@\" \"$LC_ALL\" > \"$RECORD\"\n" + body + "\n").toUtf8());
        script.close();
        script.setPermissions(executable ? QFile::ReadOwner | QFile::ExeOwner : QFile::ReadOwner);
    };

    install(QStringLiteral("echo 'Reply from 10.0.0.5: bytes=32 time=23ms TTL=64'"));
    EXPECT_EQ(discovery::PingViaShell(QStringLiteral("printer;id")), 23);
    QFile arguments(recorded);
    ASSERT_TRUE(arguments.open(QIODevice::ReadOnly));
    EXPECT_EQ(arguments.readAll(), "-c\n1\n-W\n1\nprinter;id\nC\n");
    arguments.remove();

    const std::pair<QString, bool> silent[] = {
        {QStringLiteral("echo '64 bytes from 127.0.0.1: icmp_seq=1 ttl=64 time=0.045 ms' >&2"), true},
        {QStringLiteral("exit 1"), true},
        {QStringLiteral("echo 'Reply from 10.0.0.5: bytes=32 time=23ms TTL=64'"), false},
    };
    for (const auto &[body, executable] : silent) {
        install(body, executable);
        EXPECT_EQ(discovery::PingViaShell(QStringLiteral("127.0.0.1")), -1) << body.toStdString();
        EXPECT_EQ(QFile::remove(recorded), executable) << "ran: " << body.toStdString();
    }
    QFile::remove(bin.filePath(QStringLiteral("ping")));
    EXPECT_EQ(discovery::PingViaShell(QStringLiteral("127.0.0.1")), -1) << "no ping program";

    install(QStringLiteral("echo 'Reply from 10.0.0.5: bytes=32 time=23ms TTL=64'"));
    for (const char *host : {"", "-", "-c 5", "a b", "127.0.0.1 ", "\t127.0.0.1", "127.0.0.1\n-c"}) {
        EXPECT_EQ(discovery::PingViaShell(QString::fromUtf8(host)), -1) << host;
        EXPECT_FALSE(QFile::exists(recorded)) << "refused host ran ping: " << host;
    }
}

TEST_F(PrivateNetwork, LoopbackAnswersAndASilentAddressDoesNot) {
    EXPECT_GE(discovery::PingViaShell(QStringLiteral("127.0.0.1")), 1);
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(discovery::PingViaShell(QStringLiteral("198.18.0.5")), -1);
    EXPECT_GE(clock.elapsed(), 900) << "ping gave up at once instead of waiting for a reply";
}

TEST_F(PrivateNetwork, Cli) {
    const std::string cli = METERLANE_BIN_DIR "/meterlane-cli";
    const auto answered = runCommand({cli, "shellping", "127.0.0.1"});
    EXPECT_EQ(answered.status, 0) << answered.err;
    EXPECT_GE(std::stoi(answered.out.empty() ? "-1" : answered.out), 1);

    const auto refused = runCommand({cli, "shellping", "-c"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.out, "-1\n");
    EXPECT_EQ(runCommand({cli, "shellping"}).status, 2);

    // No folder can take the file: "temp" and TMPDIR name none, and /tmp is made read-only in a mount namespace
    // (bound onto itself, so that a program built under /tmp stays in sight).
    const auto fault = runCommand(
        {"unshare", "-m", "--propagation", "private", "sh", "-c",
         "mount --bind /tmp /tmp && mount -o remount,bind,ro /tmp && exec \"$0\" shellping 127.0.0.1", cli},
        {{"temp", "/nonexistent/a"}, {"TMPDIR", "/nonexistent/b"}});
    EXPECT_EQ(fault.status, 1);
    EXPECT_EQ(fault.out, "");
    EXPECT_EQ(fault.err, "error 51: cannot make a temporary file in /nonexistent/a, /nonexistent/b, /tmp\n");
}

} // namespace
