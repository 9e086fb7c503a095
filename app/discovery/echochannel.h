// The echo requests of one pinger run and their outcomes, slot by slot. Requests go out on one ICMP socket for the
// whole run: a datagram ICMP socket where net.ipv4.ping_group_range admits the process's group, else a raw one
// (root or CAP_NET_RAW); replies are matched to their slot by identifier, sequence and source address, so that no
// reply reaches another slot. Where neither socket may be opened, the system ping runs once per request as a child
// process, a bounded number at a time.
#pragma once

#include <QString>

#include <memory>
#include <optional>

namespace discovery {

struct EchoOutcome {
    bool answered = false;
    int roundTripMs = -1; // whole milliseconds, when answered
};

class EchoChannel {
public:
    virtual ~EchoChannel() = default;

    // How requests go out: "datagram ICMP socket", "raw ICMP socket" or "system ping".
    virtual QString method() const = 0;

    // Issues the echo request of slot (0 to slotCount-1, once each) to a dotted IPv4 address. It is answered
    // within timeOutMs or it fails; a text that is not such an address, or a request that cannot be sent, fails
    // at once.
    virtual void send(int slot, const QString &address, int timeOutMs) = 0;

    // Waits at most ms (less when there is news) and takes in what has happened: replies arrived, time-outs run
    // out. Outcomes change only here.
    virtual void wait(int ms) = 0;

    // The outcome of slot once it is known; nothing while its request is outstanding (or was never sent).
    virtual std::optional<EchoOutcome> outcome(int slot) const = 0;

    // What went wrong with the method itself during the run (the system ping failing to run, for instance);
    // empty when nothing did.
    virtual QString problem() const { return {}; }
};

// The first method that can be opened for slotCount slots: datagram ICMP socket, raw ICMP socket, system ping
// with at most maxProcesses children at a time. Nothing when none can, with the reasons in why.
std::unique_ptr<EchoChannel> openEchoChannel(int slotCount, int maxProcesses, QString &why);

} // namespace discovery
