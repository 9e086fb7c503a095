// Real, independent SNMP agents for tests: snmpsim serving .snmprec data and Net-SNMP's snmpd serving override
// lines, each started as a child process on its own loopback address (port 161, so tests run as root inside a
// private network namespace) and stopped when its object goes. The address comes from the pool 127.100.100.140 to
// 127.100.100.159, each one claimed with a lock file, so that test processes running in parallel never share one:
// addresses of 15 characters, the longest an IPv4 address has, as every value stored with one is longest then. An
// agent that cannot be started leaves a failure text behind; tests check it with ASSERT_AGENT so that nothing is
// skipped silently.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace testsupport {

// Outcome of a finished command: its exit status (-1 when it could not be run or did not exit normally), and
// what it wrote to its standard output and error.
struct CommandResult {
    int status = -1;
    std::string out;
    std::string err;
};

// The command-line program of this build.
inline const std::string Cli = METERLANE_BIN_DIR "/meterlane-cli";

// Runs argv[0] (looked up on PATH) with the arguments, no shell involved; extraEnvironment adds or replaces
// variables of this process's environment for the child.
CommandResult runCommand(const std::vector<std::string> &argv,
                         const std::map<std::string, std::string> &extraEnvironment = {});

// The lines of a text, without their line ends.
std::vector<std::string> splitLines(const std::string &text);

class RealAgent {
public:
    RealAgent(const RealAgent &) = delete;
    RealAgent &operator=(const RealAgent &) = delete;
    virtual ~RealAgent();

    const std::string &address() const { return addresses_.empty() ? none_ : addresses_.front(); }
    // The address of the agent's endpoint-th endpoint (0 is address()).
    const std::string &address(std::size_t endpoint) const { return addresses_.at(endpoint); }
    bool running() const { return pid_ > 0 && failure_.empty(); }
    // Why the agent is not running; empty when it is.
    const std::string &failure() const { return failure_; }

protected:
    RealAgent() = default;
    // Claims endpoints addresses, starts the agent (an argument holding the text "@ADDRESS@" is given once per
    // address, in order, the text replaced by it) and waits up to about 10 s until its first address answers a get
    // that snmpget makes with probeOptions ("-v1", "-c", "public" for instance).
    void start(std::vector<std::string> argv, const std::vector<std::string> &probeOptions, std::size_t endpoints = 1);
    void stop();
    // Stops the agent and starts it again on the same address with the same arguments.
    void restart();

    std::string failure_;
    std::vector<std::string> temporaryFolders_; // removed after the agent has stopped

private:
    bool claimAddresses(std::size_t count);
    void launch();
    void stopProcess();

    std::vector<std::string> argv_;
    std::vector<std::string> probeOptions_;
    std::string logFolder_; // also the agent's persistent folder
    std::vector<std::string> addresses_;
    std::vector<int> lockFds_;
    static inline const std::string none_;
    pid_t pid_ = -1;
};

// snmpsim: every "NAME.snmprec" of dataDir (plus the generated files, name → content) is served for the community
// NAME (with "--v3-only" among the extra arguments: for version 3 only, in the context NAME). The data are copied
// into a fresh world-readable folder, since the simulator drops its privileges. probeOptions: how snmpget asks
// whether it runs; by default version 1 with the first community.
class SnmpsimAgent : public RealAgent {
public:
    explicit SnmpsimAgent(const std::string &dataDir, const std::map<std::string, std::string> &generatedFiles = {},
                          const std::vector<std::string> &extraArguments = {},
                          std::vector<std::string> probeOptions = {});
    // One simulator for several printers, each on an address of its own: endpoint k answers the community public
    // with contents[k] (the simulator's version 1/2c architecture picks data by endpoint), so that a test's printers
    // cost one start of the simulator, not one each.
    explicit SnmpsimAgent(const std::vector<std::string> &contents);

private:
    void start(const std::map<std::string, std::string> &files, const std::vector<std::string> &extraArguments,
               const std::vector<std::string> &probeOptions, std::size_t endpoints);
};

// snmpd with "rocommunity public" and "rwcommunity private" for 127.0.0.0/8 and the given extra configuration
// lines, "override ..." or "createUser ..." lines for instance; with probeOptions, with the given lines alone, which
// must let snmpget ask as those options say.
class SnmpdAgent : public RealAgent {
public:
    explicit SnmpdAgent(const std::vector<std::string> &configLines);
    SnmpdAgent(const std::vector<std::string> &configLines, const std::vector<std::string> &probeOptions);
    // Starts the agent anew on its address with other configuration lines ("engineBoots N" makes it count boot N + 1).
    void restart(const std::vector<std::string> &configLines);

private:
    SnmpdAgent(const std::vector<std::string> &configLines, const std::vector<std::string> &probeOptions,
               std::vector<std::string> communityLines);
    bool writeConfig(const std::vector<std::string> &configLines);

    std::vector<std::string> communityLines_; // written ahead of the configuration lines
    std::string configPath_;
};

} // namespace testsupport

// Fails the current test unless the agent runs.
#define ASSERT_AGENT(agent) \
    ASSERT_TRUE((agent).running()) << "SNMP agent on " << (agent).address() << ": " << (agent).failure()
