#include "site.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>

namespace testsupport {
namespace {

namespace fs = std::filesystem;

// The makes of the site's printers in order; "partial" lacks sysObjectID, which a version 1 agent refuses in a get
// of both.
const char *const Makes[] = {"ricoh",   "hp",      "oki",    "brother",        "kyocera",  "canon",
                             "epson",   "lexmark", "sharp",  "xerox",          "konica-minolta", "hp-color",
                             "kyocera-color", "brother-mfc", "ricoh-alt"};

// Where each make keeps the identity the reading takes.
std::string identityOid(const std::string &make) {
    if (make.rfind("ricoh", 0) == 0 || make == "partial") return "1.3.6.1.4.1.367.3.2.1.2.1.4.0";
    if (make == "oki") return "1.3.6.1.4.1.2001.1.1.1.1.11.1.10.45.0";
    if (make.rfind("brother", 0) == 0) return "1.3.6.1.4.1.2435.2.3.9.4.2.1.5.5.1.0";
    return "1.3.6.1.2.1.43.5.1.1.17.1";
}

std::string hex(const std::string &bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (const unsigned char byte : bytes) text += {digits[byte >> 4], digits[byte & 15]};
    return text;
}

bool writeData(const fs::path &file, const std::string &content) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << content;
    chmod(file.parent_path().c_str(), 0755);
    return chmod(file.c_str(), 0644) == 0;
}

// One snmpsim serving each endpoint its own data: the file "NAME/1.3.6.1.6.1.1.N.snmprec" answers the community
// (or, with --v3-only, the context) NAME on the Nth endpoint only. For communities only the simulator's version 1/2c
// architecture picks data by endpoint; its default one maps each community to a context of its own first. Endpoint 0
// is the agent's pool address, which start() waits for.
class SiteAgent : public RealAgent {
public:
    SiteAgent(const std::string &name, const std::vector<std::string> &endpoints,
              std::map<std::string, std::string> files, const std::vector<std::string> &mode,
              const std::vector<std::string> &probeOptions) {
        const fs::path data = fs::temp_directory_path() / ("meterlane-site-" + std::to_string(getpid()) + "-" + name);
        const fs::path cache = data.string() + "-cache";
        fs::create_directories(cache);
        temporaryFolders_ = {data.string(), cache.string()};
        chmod(cache.c_str(), 0777);
        files[name + "/1.3.6.1.6.1.1.0.snmprec"] = "1.3.6.1.2.1.1.1.0|4|site agent\n";
        for (const auto &[file, content] : files)
            if (!writeData(data / file, content)) failure_ = "cannot write " + file;
        chmod(data.c_str(), 0755);
        std::vector<std::string> argv{"snmpsimd", "--data-dir=" + data.string(), "--cache-dir=" + cache.string(),
                                      "--agent-udpv4-endpoint=@ADDRESS@:161", "--process-user=nobody",
                                      "--process-group=nogroup"};
        argv.insert(argv.end(), mode.begin(), mode.end());
        for (const std::string &address : endpoints) argv.push_back("--agent-udpv4-endpoint=" + address + ":161");
        start(argv, probeOptions);
    }
};

// The endpoints and data files of one agent of the site.
struct AgentPlan {
    std::vector<std::string> endpoints;
    std::map<std::string, std::string> files;

    void serve(const std::string &address, const std::string &name, const std::string &data) {
        endpoints.push_back(address);
        files[name + "/1.3.6.1.6.1.1." + std::to_string(endpoints.size()) + ".snmprec"] = data;
    }
};

} // namespace

std::string SimulatedSite::makerOf(const std::string &make) {
    static const std::map<std::string, std::string> makers{
        {"ricoh", "RICOH"},   {"ricoh-alt", "RICOH"}, {"partial", "RICOH"},   {"hp", "HP"},
        {"hp-color", "HP"},   {"oki", "OKI"},         {"brother", "BROTHER"}, {"brother-mfc", "BROTHER"},
        {"kyocera", "KYOCERA"}, {"kyocera-color", "KYOCERA"}, {"canon", "Canon"}, {"epson", "Epson"},
        {"lexmark", "Lexmark"}, {"sharp", "Sharp"},   {"xerox", "Xerox"},     {"konica-minolta", "Konica Minolta"}};
    return makers.at(make);
}

SimulatedSite::SimulatedSite() {
    if (!network_.ready()) {
        failure_ = network_.failure();
        return;
    }
    AgentPlan communities, users;
    for (int i = 0; i < 30; ++i) {
        SitePrinter printer;
        printer.address = "198.18.0." + std::to_string(10 + i);
        printer.make = i == 28 ? "partial" : Makes[i % 15];
        printer.identity = "SITE" + std::to_string(1000 + i);
        printer.access = i % 10 == 7 ? PrinterAccess::V3Only : i % 5 == 4 ? PrinterAccess::V2cOnly : PrinterAccess::PublicV1;
        RecordChanges changes{{identityOid(printer.make), "4|" + printer.identity}};
        if (printer.address == ForgingPrinter) changes["1.3.6.1.2.1.25.3.2.1.3.1"] = "4x|" + hex(ForgingModel);
        std::string why;
        const std::string data = SimulatedPrinter::data(printer.make, changes, why);
        if (data.empty()) {
            failure_ = why;
            return;
        }
        if (printer.access == PrinterAccess::V3Only) users.serve(printer.address, V3Context, data);
        else communities.serve(printer.address, printer.access == PrinterAccess::V2cOnly ? V2cCommunity : "public", data);
        printers_.push_back(printer);
    }
    communities.serve(Gateway, "public", "1.3.6.1.2.1.1.1.0|4|Linux gateway 6.1.0\n1.3.6.1.2.1.1.2.0|6|1.3.6.1.4.1.8072.3.2.10\n");

    std::string commands;
    for (const auto *plan : {&communities, &users})
        for (const std::string &address : plan->endpoints) commands += "address add " + address + "/32 dev lo\n";
    for (int i = 0; i < PingOnlyHosts; ++i) commands += "address add 198.18.0." + std::to_string(100 + i) + "/32 dev lo\n";
    const fs::path batch = fs::temp_directory_path() / ("meterlane-site-" + std::to_string(getpid()) + ".ip");
    std::ofstream(batch) << commands;
    const bool added = network_.ip({"-batch", batch.string()});
    fs::remove(batch);
    if (!added) {
        failure_ = network_.failure();
        return;
    }
    agents_.push_back(std::make_unique<SiteAgent>("public", communities.endpoints, communities.files,
                                                  std::vector<std::string>{"--v2c-arch"},
                                                  std::vector<std::string>{"-v1", "-c", "public"}));
    agents_.push_back(std::make_unique<SiteAgent>(V3Context, users.endpoints, users.files, v3OnlySnmpsimArguments(),
                                                  v3SnmpgetOptions()));
    for (const auto &agent : agents_)
        if (!agent->running()) failure_ += agent->failure();
    if (failure_.empty()) awaitEveryPrinter();
}

// Each printer asked once as its profile asks, before the site counts as ready: a printer the simulators do not
// serve fails the site itself, not the test's findings.
void SimulatedSite::awaitEveryPrinter() {
    for (const SitePrinter &printer : printers_) {
        std::vector<std::string> ask{"snmpget", "-r0", "-t", "5", "-m", ""};
        if (printer.access == PrinterAccess::V3Only) {
            const auto options = v3SnmpgetOptions();
            ask.insert(ask.end(), options.begin(), options.end());
        } else {
            ask.insert(ask.end(), {"-v2c", "-c", printer.access == PrinterAccess::V2cOnly ? V2cCommunity : "public"});
        }
        ask.insert(ask.end(), {printer.address, "1.3.6.1.2.1.1.1.0"});
        if (const CommandResult result = runCommand(ask); result.status != 0)
            failure_ += printer.address + " (" + printer.make + ") does not answer: " + result.err;
    }
}

SimulatedSite::~SimulatedSite() = default;

} // namespace testsupport
