#include "realagents.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <utility>

extern char **environ;

namespace testsupport {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The program's full path: a name with a "/" as it is, else the first match on PATH or in the system folders
// (snmpd lives in /usr/sbin, which a test's PATH may lack).
std::string findProgram(const std::string &name) {
    if (name.find('/') != std::string::npos) return name;
    std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    path += ":/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin";
    std::stringstream folders(path);
    for (std::string folder; std::getline(folders, folder, ':');) {
        if (folder.empty()) continue;
        const std::string candidate = folder + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

std::vector<std::string> environmentWith(const std::map<std::string, std::string> &extra) {
    std::vector<std::string> entries;
    for (char **entry = environ; *entry; ++entry) {
        const std::string text(*entry);
        if (!extra.count(text.substr(0, text.find('=')))) entries.push_back(text);
    }
    for (const auto &[name, value] : extra) entries.push_back(name + "=" + value);
    return entries;
}

std::vector<char *> pointersOf(std::vector<std::string> &texts) {
    std::vector<char *> pointers;
    for (std::string &text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Forks and executes program; stdoutFd and stderrFd become the child's output (closed in the parent by the
// caller). The child gets its own process group, and, as far as the program keeps it, dies with the test.
pid_t spawn(const std::string &program, std::vector<std::string> argv, std::vector<std::string> environment,
            int stdoutFd, int stderrFd) {
    std::vector<char *> args = pointersOf(argv);
    std::vector<char *> envp = pointersOf(environment);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid != 0) return pid;
    // Child: async-signal-safe calls only.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    setpgid(0, 0);
    const int devNull = open("/dev/null", O_RDONLY);
    if (devNull >= 0) dup2(devNull, STDIN_FILENO);
    dup2(stdoutFd, STDOUT_FILENO);
    dup2(stderrFd, STDERR_FILENO);
    execve(program.c_str(), args.data(), envp.data());
    _exit(127);
}

std::string makeTemporaryFolder() {
    std::string pattern = (fs::temp_directory_path() / "meterlane-agent-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return {};
    return pattern;
}

std::string readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool writeFile(const std::string &path, const std::string &content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    out.close();
    return !out.fail() && chmod(path.c_str(), 0644) == 0;
}

const std::string PoolNetwork = "127.100.100.";
constexpr int FirstPoolHost = 140, LastPoolHost = 159;

bool loopbackIsUp() {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    const bool up = ioctl(fd, SIOCGIFFLAGS, &request) == 0 && (request.ifr_flags & IFF_UP);
    close(fd);
    return up;
}

// 0 when a UDP socket can be bound to address:161, else the error.
int bindError(const std::string &address) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(161);
    inet_pton(AF_INET, address.c_str(), &local.sin_addr);
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return errno;
    const int error = bind(fd, reinterpret_cast<const sockaddr *>(&local), sizeof local) == 0 ? 0 : errno;
    close(fd);
    return error;
}

} // namespace

CommandResult runCommand(const std::vector<std::string> &argv, const std::map<std::string, std::string> &extra) {
    CommandResult result;
    if (argv.empty()) return result;
    const std::string program = findProgram(argv[0]);
    if (program.empty()) {
        result.err = argv[0] + ": program not found";
        return result;
    }
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0) return result;
    if (pipe2(err, O_CLOEXEC) != 0) {
        close(out[0]);
        close(out[1]);
        return result;
    }
    const pid_t pid = spawn(program, argv, environmentWith(extra), out[1], err[1]);
    close(out[1]);
    close(err[1]);
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string *sinks[2] = {&result.out, &result.err};
    for (int open = pid > 0 ? 2 : 0; open > 0;) {
        if (poll(fds, 2, -1) < 0 && errno != EINTR) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buffer[65536];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                fds[i].fd = -1;
                --open;
            }
        }
    }
    close(out[0]);
    close(err[0]);
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) result.status = WEXITSTATUS(status);
    return result;
}

std::vector<std::string> splitLines(const std::string &text) {
    std::vector<std::string> lines;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

RealAgent::~RealAgent() { stop(); }

// Takes the first pool addresses that no other test process holds and whose port 161 is free. The locks go with
// the open files, so a test process that dies gives its addresses back.
bool RealAgent::claimAddresses(std::size_t count) {
    if (!loopbackIsUp()) {
        failure_ = "the loopback interface is down (run the tests inside 'unshare -n' after 'ip link set lo up')";
        return false;
    }
    for (int host = FirstPoolHost; host <= LastPoolHost && addresses_.size() < count; ++host) {
        const std::string address = PoolNetwork + std::to_string(host);
        const std::string lockPath = (fs::temp_directory_path() / ("meterlane-agent-" + address + ".lock")).string();
        const int fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0) continue;
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            close(fd);
            continue;
        }
        const int error = bindError(address);
        if (error == 0) {
            addresses_.push_back(address);
            lockFds_.push_back(fd);
            continue;
        }
        close(fd);
        if (error != EADDRINUSE) { // a leftover agent holds the port; anything else will not get better
            failure_ = "cannot bind UDP " + address + ":161: " + std::strerror(error) +
                       " (tests with agents run as root inside 'unshare -n' with loopback up)";
            return false;
        }
    }
    if (addresses_.size() == count) return true;
    failure_ = "no " + std::to_string(count) + " free addresses in " + PoolNetwork + std::to_string(FirstPoolHost) +
               "-" + std::to_string(LastPoolHost);
    return false;
}

void RealAgent::start(std::vector<std::string> argv, const std::vector<std::string> &probeOptions,
                      std::size_t endpoints) {
    if (!failure_.empty() || !claimAddresses(endpoints)) return;
    for (auto arg = argv.begin(); arg != argv.end(); ++arg) {
        const auto at = arg->find("@ADDRESS@");
        if (at == std::string::npos) continue;
        std::vector<std::string> given;
        for (const std::string &address : addresses_) given.push_back(std::string(*arg).replace(at, 9, address));
        arg = argv.insert(argv.erase(arg), given.begin(), given.end()) + std::ptrdiff_t(given.size()) - 1;
    }
    argv_ = std::move(argv);
    probeOptions_ = probeOptions;
    logFolder_ = makeTemporaryFolder();
    if (logFolder_.empty()) {
        failure_ = "cannot create a temporary folder";
        return;
    }
    temporaryFolders_.push_back(logFolder_);
    launch();
}

void RealAgent::restart() {
    if (!running()) return;
    stopProcess();
    launch();
}

void RealAgent::launch() {
    const std::string program = findProgram(argv_[0]);
    if (program.empty()) {
        failure_ = argv_[0] + " is not installed";
        return;
    }
    const std::string logPath = logFolder_ + "/agent.log";
    const int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (log < 0) {
        failure_ = "cannot create " + logPath;
        return;
    }
    pid_ = spawn(program, argv_, environmentWith({{"SNMP_PERSISTENT_DIR", logFolder_}}), log, log);
    close(log);
    if (pid_ < 0) {
        failure_ = std::string("fork: ") + std::strerror(errno);
        return;
    }

    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < deadline) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            failure_ = argv_[0] + " exited (status " + std::to_string(status) + ") before answering; its output:\n" +
                       readFile(logPath);
            return;
        }
        // snmpget exits with 1 when nothing answered, 0 or 2 (an error reply) when the agent did.
        std::vector<std::string> probeArgv{"snmpget"};
        probeArgv.insert(probeArgv.end(), probeOptions_.begin(), probeOptions_.end());
        probeArgv.insert(probeArgv.end(), {"-r0", "-t", "0.3", "-m", "", address(), "1.3.6.1.2.1.1.1.0"});
        const CommandResult probe = runCommand(probeArgv);
        if (probe.status == 0 || probe.status == 2) return;
        if (probe.status != 1) {
            failure_ = "snmpget cannot be run: " + probe.err;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    failure_ = argv_[0] + " did not answer within 10 s; its output:\n" + readFile(logPath);
}

void RealAgent::stopProcess() {
    if (pid_ <= 0) return;
    kill(-pid_, SIGTERM);
    kill(pid_, SIGTERM);
    int status = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(3);
    while (waitpid(pid_, &status, WNOHANG) == 0) {
        if (Clock::now() > deadline) {
            kill(-pid_, SIGKILL);
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    pid_ = -1;
}

void RealAgent::stop() {
    stopProcess();
    for (const int fd : lockFds_) close(fd);
    lockFds_.clear();
    std::error_code ignored;
    for (const std::string &folder : temporaryFolders_) fs::remove_all(folder, ignored);
    temporaryFolders_.clear();
}

SnmpsimAgent::SnmpsimAgent(const std::string &dataDir, const std::map<std::string, std::string> &generatedFiles,
                           const std::vector<std::string> &extraArguments, std::vector<std::string> probeOptions) {
    std::map<std::string, std::string> files;
    std::error_code error;
    for (const auto &entry : fs::directory_iterator(dataDir, error))
        if (entry.path().extension() == ".snmprec") files[entry.path().filename().string()] = readFile(entry.path().string());
    files.insert(generatedFiles.begin(), generatedFiles.end());
    if (files.empty()) {
        failure_ = "no .snmprec data in " + dataDir + (error ? " (" + error.message() + ")" : std::string());
        return;
    }
    if (probeOptions.empty()) probeOptions = {"-v1", "-c", fs::path(files.begin()->first).stem().string()};
    start(files, extraArguments, probeOptions, 1);
}

SnmpsimAgent::SnmpsimAgent(const std::vector<std::string> &contents) {
    std::map<std::string, std::string> files;
    for (std::size_t k = 0; k < contents.size(); ++k)
        files["public/1.3.6.1.6.1.1." + std::to_string(k) + ".snmprec"] = contents[k];
    start(files, {"--v2c-arch"}, {"-v1", "-c", "public"}, contents.size());
}

void SnmpsimAgent::start(const std::map<std::string, std::string> &files, const std::vector<std::string> &extraArguments,
                         const std::vector<std::string> &probeOptions, std::size_t endpoints) {
    const std::string data = makeTemporaryFolder(), cache = makeTemporaryFolder();
    if (data.empty() || cache.empty()) {
        failure_ = "cannot create a temporary folder";
        return;
    }
    temporaryFolders_.insert(temporaryFolders_.end(), {data, cache});
    // The simulator runs as nobody: it must read the data and write its index cache.
    chmod(data.c_str(), 0755);
    chmod(cache.c_str(), 0777);
    for (const auto &[name, content] : files) {
        const fs::path folder = fs::path(data + "/" + name).parent_path();
        fs::create_directories(folder);
        chmod(folder.c_str(), 0755);
        if (!writeFile(data + "/" + name, content)) {
            failure_ = "cannot write " + name;
            return;
        }
    }
    std::vector<std::string> argv{"snmpsimd", "--data-dir=" + data, "--cache-dir=" + cache,
                                  "--agent-udpv4-endpoint=@ADDRESS@:161", "--process-user=nobody",
                                  "--process-group=nogroup"};
    argv.insert(argv.end(), extraArguments.begin(), extraArguments.end());
    RealAgent::start(argv, probeOptions, endpoints);
}

SnmpdAgent::SnmpdAgent(const std::vector<std::string> &configLines)
    : SnmpdAgent(configLines, {"-v1", "-c", "public"},
                 {"rocommunity public 127.0.0.0/8", "rwcommunity private 127.0.0.0/8"}) {}

SnmpdAgent::SnmpdAgent(const std::vector<std::string> &configLines, const std::vector<std::string> &probeOptions)
    : SnmpdAgent(configLines, probeOptions, {}) {}

SnmpdAgent::SnmpdAgent(const std::vector<std::string> &configLines, const std::vector<std::string> &probeOptions,
                       std::vector<std::string> communityLines)
    : communityLines_(std::move(communityLines)) {
    const std::string folder = makeTemporaryFolder();
    if (folder.empty()) {
        failure_ = "cannot create a temporary folder";
        return;
    }
    temporaryFolders_.push_back(folder);
    configPath_ = folder + "/snmpd.conf";
    if (!writeConfig(configLines)) return;
    start({"snmpd", "-f", "-Le", "-C", "-c", configPath_, "-p", folder + "/snmpd.pid", "udp:@ADDRESS@:161"},
          probeOptions);
}

void SnmpdAgent::restart(const std::vector<std::string> &configLines) {
    if (writeConfig(configLines)) RealAgent::restart();
}

bool SnmpdAgent::writeConfig(const std::vector<std::string> &configLines) {
    std::string config;
    for (const std::string &line : communityLines_) config += line + "\n";
    for (const std::string &line : configLines) config += line + "\n";
    if (writeFile(configPath_, config)) return true;
    failure_ = "cannot write the snmpd configuration";
    return false;
}

} // namespace testsupport
