// A network namespace of the calling thread's own, with loopback up and a veth pair holding 198.18.0.1/24 whose
// peer has no address: 127.0.0.0/8 answers, every other 198.18.0.x is silent, and nothing sent from here can leave
// the machine. Threads and programs started from this thread while the object lives are in it too (agents, ping,
// ip). The thread returns to its former namespace when the object goes.
#pragma once

#include <string>
#include <vector>

namespace testsupport {

class PrivateNetwork {
public:
    PrivateNetwork();
    ~PrivateNetwork();
    PrivateNetwork(const PrivateNetwork &) = delete;
    PrivateNetwork &operator=(const PrivateNetwork &) = delete;

    bool ready() const { return failure_.empty(); }
    // Why the namespace could not be made; empty when it is ready.
    const std::string &failure() const { return failure_; }

    // Runs `ip ARGUMENTS...` in the namespace; false (the error kept in failure()) when it fails.
    bool ip(const std::vector<std::string> &arguments);

    // Makes an address of 127.0.0.0/8 silent (sends to it fail at once), or answering again.
    bool silence(const std::string &address) { return ip({"route", "add", "blackhole", address, "table", "local"}); }
    bool unsilence(const std::string &address) { return ip({"route", "del", "blackhole", address, "table", "local"}); }

    // Sets a sysctl of the namespace (net.ipv4.ping_group_range, for instance).
    bool sysctl(const std::string &name, const std::string &value);

private:
    int original_ = -1;
    bool entered_ = false;
    std::string failure_;
};

} // namespace testsupport
