// ResolveHost and meterlane-cli resolve. Every case runs in a network namespace of its own with only loopback up:
// a lookup that went wrong (or a name that does not exist) can then never leave the machine, whoever runs the tests.
#include "platform/hostresolution.h"
#include "support/realagents.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

namespace {

using testsupport::runCommand;

// Answers that do not come from the resolver library itself (a caching daemon, a resolver service) would be
// looked up outside our namespace.
bool lookupsStayInProcess() {
    if (access("/run/nscd/socket", F_OK) == 0 || access("/var/run/nscd/socket", F_OK) == 0) return false;
    std::ifstream nsswitch("/etc/nsswitch.conf");
    for (std::string line; std::getline(nsswitch, line);)
        if (line.rfind("hosts:", 0) == 0 && line.find("resolve") != std::string::npos) return false;
    return true;
}

class ResolveHostTest : public testing::Test {
protected:
    void SetUp() override {
        if (!lookupsStayInProcess()) GTEST_SKIP() << "name lookups here go through a daemon outside our namespace";
        original_ = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        ASSERT_GE(original_, 0) << std::strerror(errno);
        if (unshare(CLONE_NEWNET) != 0) GTEST_SKIP() << "no private network namespace: " << std::strerror(errno);
        entered_ = true;
        ASSERT_EQ(runCommand({"ip", "link", "set", "lo", "up"}).status, 0);
    }
    void TearDown() override {
        if (entered_) {
            EXPECT_EQ(setns(original_, CLONE_NEWNET), 0) << std::strerror(errno);
        }
        if (original_ >= 0) close(original_);
    }

private:
    int original_ = -1;
    bool entered_ = false;
};

TEST_F(ResolveHostTest, AnswersByTheTextOrByLookup) {
    const std::pair<QString, QString> cases[] = {
        // four parts pass unchanged, numbers or not: a lookup of these would give the empty text here
        {"10.0.0.5", "10.0.0.5"},
        {"a.b.c.d", "a.b.c.d"},
        {"999.1.1.1", "999.1.1.1"},
        {"...", "..."},
        // looked up: /etc/hosts and the numeric short form answer, unknown names do not
        {"localhost", "127.0.0.1"},
        {"127.1", "127.0.0.1"},
        {"printer7.invalid", ""},
        {"a.b.c.d.", ""},
        // cannot be host names: the row texts of a new or empty list entry, blanks, options
        {"[new]", ""},
        {"----", ""},
        {"", ""},
        {" ", ""},
        {"local host", ""},
        {"-localhost", ""},
        {"_", ""},
    };
    for (const auto &[host, expected] : cases) EXPECT_EQ(platform::ResolveHost(host), expected) << host.toStdString();
}

// Texts that cannot be host names are never looked up: with a hosts file (in a mount namespace) that knows them,
// a lookup would answer.
TEST_F(ResolveHostTest, CliPrintsTheFirstAddressAndLooksUpNoPlaceholders) {
    QTemporaryDir folder;
    const QString hosts = folder.filePath(QStringLiteral("hosts"));
    QFile file(hosts);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("127.0.0.9 ---- [new] -localhost _\n127.0.0.7 printer7.test\n127.0.0.8 printer7.test\n");
    file.close();
    const auto result = runCommand(
        {"unshare", "-m", "sh", "-c",
         "mount --bind \"$0\" /etc/hosts && for h; do \"$CLI\" resolve \"$h\" || echo \"failed $?\"; done",
         hosts.toStdString(), "printer7.test", "----", "[new]", "-localhost", "_"},
        {{"CLI", METERLANE_BIN_DIR "/meterlane-cli"}});
    EXPECT_EQ(result.out, "127.0.0.7\nfailed 1\nfailed 1\nfailed 1\nfailed 1\n");
    EXPECT_EQ(testsupport::splitLines(result.err).size(), 4u) << result.err;

    const std::string cli = METERLANE_BIN_DIR "/meterlane-cli";
    EXPECT_EQ(runCommand({cli, "resolve"}).status, 2);
    EXPECT_EQ(runCommand({cli, "resolve", "localhost", "10.0.0.5"}).status, 2);
}

} // namespace
