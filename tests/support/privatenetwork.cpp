#include "support/privatenetwork.h"

#include "support/realagents.h"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

namespace testsupport {

PrivateNetwork::PrivateNetwork() {
    original_ = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    if (original_ < 0 || unshare(CLONE_NEWNET) != 0) {
        failure_ = std::string("no private network namespace: ") + std::strerror(errno);
        return;
    }
    entered_ = true;
    for (const std::vector<std::string> &arguments : std::vector<std::vector<std::string>>{
             {"link", "set", "lo", "up"},
             {"link", "add", "mlsilent0", "type", "veth", "peer", "name", "mlsilent1"},
             {"addr", "add", "198.18.0.1/24", "dev", "mlsilent0"},
             {"link", "set", "mlsilent0", "up"},
             {"link", "set", "mlsilent1", "up"}})
        if (!ip(arguments)) return;
    // The guard: the silent addresses are reached through our own pair and nothing else.
    if (runCommand({"ip", "route", "get", "198.18.0.5"}).out.find("dev mlsilent0") == std::string::npos)
        failure_ = "198.18.0.5 is not routed through the namespace's own veth pair";
}

PrivateNetwork::~PrivateNetwork() {
    if (entered_) {
        runCommand({"ip", "link", "del", "mlsilent0"});
        setns(original_, CLONE_NEWNET);
    }
    if (original_ >= 0) close(original_);
}

bool PrivateNetwork::ip(const std::vector<std::string> &arguments) {
    std::vector<std::string> command{"ip"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    const CommandResult result = runCommand(command);
    if (result.status == 0) return true;
    failure_ = "ip";
    for (const std::string &argument : arguments) failure_ += " " + argument;
    failure_ += ": " + result.err;
    return false;
}

bool PrivateNetwork::sysctl(const std::string &name, const std::string &value) {
    std::string path = name;
    std::replace(path.begin(), path.end(), '.', '/');
    std::ofstream file("/proc/sys/" + path);
    file << value << "\n";
    file.close();
    if (file) return true;
    failure_ = "cannot set " + name;
    return false;
}

} // namespace testsupport
