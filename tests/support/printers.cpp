#include "support/printers.h"

#include <algorithm>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <thread>
#include <utility>

namespace testsupport {
namespace {

// An OID as numbers, for snmpsim's order: 1.3.6.1.2 < 1.3.6.1.10, which text order gets wrong.
std::vector<unsigned long> arcsOf(const std::string &oid) {
    std::vector<unsigned long> arcs;
    std::stringstream in(oid);
    for (std::string arc; std::getline(in, arc, '.');) arcs.push_back(arc.empty() ? 0 : std::stoul(arc));
    return arcs;
}

bool isOid(const std::string &text) {
    return !text.empty() && text.front() != '.' && text.back() != '.' &&
           text.find("..") == std::string::npos &&
           std::all_of(text.begin(), text.end(), [](char c) { return c == '.' || (c >= '0' && c <= '9'); });
}

// snmpd's configuration for a printer asked with version 2c and V2cCommunity only: the system group's values through
// its own directives, every other record as an "override" line.
std::vector<std::string> v2cOnlyConfig(const std::string &content) {
    static const std::map<std::string, std::string> systemDirectives{
        {"1.3.6.1.2.1.1.1.0", "sysdescr"}, {"1.3.6.1.2.1.1.2.0", "sysobjectid"}, {"1.3.6.1.2.1.1.4.0", "syscontact"},
        {"1.3.6.1.2.1.1.5.0", "sysname"},  {"1.3.6.1.2.1.1.6.0", "syslocation"}};
    static const std::map<std::string, std::string> overrideTypes{
        {"2", "integer"},   {"4", "octet_str"},  {"4x", "octet_str"}, {"6", "object_id"},
        {"64", "ipaddress"}, {"65", "counter"}, {"66", "unsigned"},   {"67", "timeticks"}};
    std::vector<std::string> lines{std::string("com2sec site 127.0.0.0/8 ") + V2cCommunity, "group site v2c site",
                                   "view all included .1", "access site \"\" v2c noauth exact all none none"};
    std::stringstream in(content);
    for (std::string line; std::getline(in, line);) {
        const auto bar = line.find('|'), secondBar = line.find('|', bar + 1);
        const std::string oid = line.substr(0, bar), tag = line.substr(bar + 1, secondBar - bar - 1);
        std::string value = line.substr(secondBar + 1);
        if (const auto directive = systemDirectives.find(oid); directive != systemDirectives.end())
            lines.push_back(directive->second + " " + value);
        else if (oid.rfind("1.3.6.1.2.1.1.", 0) == 0 || !overrideTypes.count(tag))
            continue; // snmpd's own uptime and services; syntaxes a printer file does not use
        else if (tag == "4")
            lines.push_back("override " + oid + " octet_str \"" + value + "\"");
        else
            lines.push_back("override " + oid + " " + overrideTypes.at(tag) + " " + (tag == "4x" ? "0x" : "") + value);
    }
    return lines;
}

std::unique_ptr<RealAgent> startAgent(PrinterAccess access, const std::string &content) {
    switch (access) {
    case PrinterAccess::V2cOnly:
        return std::make_unique<SnmpdAgent>(v2cOnlyConfig(content),
                                            std::vector<std::string>{"-v2c", "-c", V2cCommunity});
    case PrinterAccess::V3Only:
        return std::make_unique<SnmpsimAgent>(
            std::string(), std::map<std::string, std::string>{{std::string(V3Context) + ".snmprec", content}},
            v3OnlySnmpsimArguments(), v3SnmpgetOptions());
    case PrinterAccess::PublicV1: break;
    }
    // No data folder: the one generated file is all the agent serves.
    return std::make_unique<SnmpsimAgent>(std::string(),
                                          std::map<std::string, std::string>{{"public.snmprec", content}});
}

} // namespace

std::vector<std::string> v3OnlySnmpsimArguments() {
    return {"--v3-only", std::string("--v3-user=") + V3User, std::string("--v3-auth-key=") + V3AuthPassphrase,
            "--v3-auth-proto=SHA256", std::string("--v3-priv-key=") + V3PrivPassphrase, "--v3-priv-proto=AES256BLMT"};
}

std::vector<std::string> v3SnmpgetOptions() {
    return {"-v3", "-u", V3User, "-l", "authPriv", "-a", "SHA-256", "-A", V3AuthPassphrase,
            "-x", "AES-256", "-X", V3PrivPassphrase, "-n", V3Context};
}

std::string SimulatedPrinter::dataFolder() { return std::string(METERLANE_AGENTS_DIR) + "/printers"; }

std::string SimulatedPrinter::dataFile(const std::string &name) { return dataFolder() + "/" + name + ".snmprec"; }

std::string SimulatedPrinter::data(const std::string &name, const RecordChanges &changes, std::string &why) {
    std::ifstream in(dataFile(name), std::ios::binary);
    if (!in) {
        why = "no simulated printer " + dataFile(name);
        return {};
    }
    std::map<std::string, std::string> records; // OID → "TAG|VALUE"
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const auto bar = line.find('|');
        if (bar == std::string::npos) continue;
        records[line.substr(0, bar)] = line.substr(bar + 1);
    }
    for (const auto &[oid, record] : changes) {
        if (!isOid(oid) || (!record.empty() && record.find('|') == std::string::npos)) {
            why = "bad record change " + oid + " → " + record;
            return {};
        }
        if (record.empty())
            records.erase(oid);
        else
            records[oid] = record;
    }
    std::vector<std::pair<std::vector<unsigned long>, std::string>> lines;
    for (const auto &[oid, record] : records) {
        if (!isOid(oid)) {
            why = "bad OID " + oid + " in " + dataFile(name);
            return {};
        }
        lines.emplace_back(arcsOf(oid), oid + "|" + record + "\n");
    }
    std::sort(lines.begin(), lines.end());
    std::string text;
    for (const auto &line : lines) text += line.second;
    return text;
}

struct SimulatedPrinter::Host {
    // Starts the agent that start() makes on a thread of its own.
    explicit Host(std::function<std::unique_ptr<RealAgent>()> start)
        : thread([this, start = std::move(start)] {
              auto started = start();
              std::unique_lock lock(mutex);
              agent = std::move(started);
              ready = true;
              changed.notify_all();
              changed.wait(lock, [this] { return stopping; });
              started = std::move(agent);
              lock.unlock();
              started.reset(); // stops the simulator from the thread that started it
          }) {}
    ~Host() {
        {
            std::lock_guard lock(mutex);
            stopping = true;
        }
        changed.notify_all();
        thread.join();
    }

    std::mutex mutex;
    std::condition_variable changed;
    bool ready = false;    // the agent answers or has failed
    bool stopping = false; // its printers go: stop the agent
    std::unique_ptr<RealAgent> agent;
    std::thread thread;    // last: it starts at once
};

SimulatedPrinter::SimulatedPrinter(const std::string &name, const RecordChanges &changes, bool wait,
                                   PrinterAccess access)
    : name_(name) {
    std::string content = data(name, changes, failure_);
    if (content.empty()) {
        if (failure_.empty()) failure_ = dataFile(name) + " is empty";
        return;
    }
    host_ = std::make_shared<Host>([content = std::move(content), access] { return startAgent(access, content); });
    if (wait) waitUntilStarted();
}

SimulatedPrinter::SimulatedPrinter(std::string name, std::shared_ptr<Host> host, std::size_t endpoint,
                                   std::string failure)
    : name_(std::move(name)), failure_(std::move(failure)), host_(std::move(host)), endpoint_(endpoint) {}

SimulatedPrinter::~SimulatedPrinter() = default;

void SimulatedPrinter::waitUntilStarted() const {
    if (!host_) return;
    std::unique_lock lock(host_->mutex);
    host_->changed.wait(lock, [this] { return host_->ready; });
}

const std::string &SimulatedPrinter::address() const {
    static const std::string none;
    waitUntilStarted();
    return host_ && host_->agent->running() ? host_->agent->address(endpoint_) : none;
}

bool SimulatedPrinter::running() const {
    waitUntilStarted();
    return host_ && host_->agent->running();
}

const std::string &SimulatedPrinter::failure() const {
    waitUntilStarted();
    return host_ ? host_->agent->failure() : failure_;
}

std::vector<std::unique_ptr<SimulatedPrinter>> startPrinters(const std::vector<PrinterData> &printers) {
    std::vector<std::string> contents;
    std::string why;
    for (const PrinterData &printer : printers)
        if (why.empty()) contents.push_back(SimulatedPrinter::data(printer.name, printer.changes, why));
    std::shared_ptr<SimulatedPrinter::Host> host; // none when a printer has no data: each then says why
    if (why.empty())
        host = std::make_shared<SimulatedPrinter::Host>([contents] { return std::make_unique<SnmpsimAgent>(contents); });
    std::vector<std::unique_ptr<SimulatedPrinter>> started;
    for (std::size_t k = 0; k < printers.size(); ++k)
        started.push_back(std::unique_ptr<SimulatedPrinter>(new SimulatedPrinter(printers[k].name, host, k, why)));
    if (!started.empty()) started.front()->waitUntilStarted();
    return started;
}

} // namespace testsupport
