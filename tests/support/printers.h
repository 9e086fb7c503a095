// Simulated printers for the reading tests: one agent per printer, serving one of the files in
// tests/agents/printers/ (see the README there for what each one holds) on an address of its own from the agents'
// pool: snmpsim with the community "public", which the reading engine uses without a credentials file, or a printer
// of a site that allows only version 2c with a community of its own, or only version 3.
#pragma once

#include "support/realagents.h"

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// Record changes for one printer: OID (dotted, no leading dot) → "TAG|VALUE" as in a .snmprec line (for example
// "2|21" or "4|Black"), replacing the record of that OID or adding one; an empty text removes the record.
using RecordChanges = std::map<std::string, std::string>;

// How a printer may be asked. PublicV1: snmpsim, with the community "public". V2cOnly: snmpd, which serves the data
// as "override" lines, version 2c with V2cCommunity only. V3Only: snmpsim, version 3 only, as V3User with SHA-256
// and AES-256 in the context V3Context, as some HP devices answer.
enum class PrinterAccess { PublicV1, V2cOnly, V3Only };
inline constexpr const char *V2cCommunity = "site2c";
inline constexpr const char *V3User = "meterlane", *V3AuthPassphrase = "authpass1", *V3PrivPassphrase = "privpass1",
                            *V3Context = "Jetdirect";
// snmpsim's arguments for a V3Only printer, and snmpget's options that ask it.
std::vector<std::string> v3OnlySnmpsimArguments();
std::vector<std::string> v3SnmpgetOptions();

// A printer's file of tests/agents/printers without ".snmprec", and changes to its records.
struct PrinterData {
    PrinterData(std::string name, RecordChanges changes = {}) : name(std::move(name)), changes(std::move(changes)) {}
    PrinterData(const char *name) : name(name) {}

    std::string name;
    RecordChanges changes;
};

class SimulatedPrinter {
public:
    // name: a file of tests/agents/printers without ".snmprec" ("ricoh", "hp", ...). Waits until the agent answers
    // unless wait is false: then the agent comes up in the background and the first call of address(), running()
    // or failure() waits for it, so that several printers can start side by side.
    explicit SimulatedPrinter(const std::string &name, const RecordChanges &changes = {}, bool wait = true,
                              PrinterAccess access = PrinterAccess::PublicV1);
    ~SimulatedPrinter();
    SimulatedPrinter(const SimulatedPrinter &) = delete;
    SimulatedPrinter &operator=(const SimulatedPrinter &) = delete;

    const std::string &name() const { return name_; }
    const std::string &address() const;
    bool running() const;
    // Why the printer is not running; empty when it is.
    const std::string &failure() const;

    // The folder of the printers' data and one printer's file in it.
    static std::string dataFolder();
    static std::string dataFile(const std::string &name);

    // The .snmprec text served for name with changes applied, records in OID order; empty when the file cannot be
    // read or a change is not of the form "TAG|VALUE" (what is wrong goes to why).
    static std::string data(const std::string &name, const RecordChanges &changes, std::string &why);

    // The agent is started, kept and stopped by a thread of its own: the simulator dies with the thread that
    // started it (its parent-death signal follows the thread, not the process). Printers started together share
    // one, each on an endpoint of its own; the last of them to go stops it.
    struct Host;

private:
    friend std::vector<std::unique_ptr<SimulatedPrinter>> startPrinters(const std::vector<PrinterData> &);
    SimulatedPrinter(std::string name, std::shared_ptr<Host> host, std::size_t endpoint, std::string failure);
    void waitUntilStarted() const;

    std::string name_;
    std::string failure_;
    std::shared_ptr<Host> host_;
    std::size_t endpoint_ = 0;
};

// Starts the printers, each on one address of the pool of 20 and asked with version 1 and the community public, all
// served by one simulator; returns once it answers or has failed, the printers in the order given.
std::vector<std::unique_ptr<SimulatedPrinter>> startPrinters(const std::vector<PrinterData> &printers);

} // namespace testsupport
