// A simulated site for the search of printers, in a network namespace of the test's own: in 198.18.0.0/24, 30
// printers of mixed makes, each with its own data on its own address (most with version 1 "public", some only with
// version 2c and V2cCommunity, some only with version 3 as V3User), a host that answers SNMP without being a
// printer, 70 hosts that answer ping but not SNMP, and every other address silent. The first Canon's model holds a
// line end and tabs that, printed as they are, would forge a host line.
#pragma once

#include "support/printers.h"
#include "support/privatenetwork.h"
#include "support/realagents.h"

#include <memory>
#include <string>
#include <vector>

namespace testsupport {

struct SitePrinter {
    std::string address;
    std::string make;     // the file of tests/agents/printers it serves
    std::string identity; // its serial, unique on the site
    PrinterAccess access = PrinterAccess::PublicV1;
};

class SimulatedSite {
public:
    static constexpr const char *Range = "198.18.0.0/24";
    static constexpr const char *Gateway = "198.18.0.40";
    static constexpr int PingOnlyHosts = 70;
    static constexpr const char *ForgingPrinter = "198.18.0.15";
    static constexpr const char *ForgingModel = "Canon iR-ADV C5840\r\n198.18.0.99\tRICOH\tMP C3003\tFORGED\tnew";

    SimulatedSite();
    ~SimulatedSite();

    bool ready() const { return failure_.empty(); }
    const std::string &failure() const { return failure_; }
    const std::vector<SitePrinter> &printers() const { return printers_; }
    // The expected maker, as discover names it, of a make.
    static std::string makerOf(const std::string &make);

private:
    void awaitEveryPrinter();

    PrivateNetwork network_;
    std::vector<SitePrinter> printers_;
    std::vector<std::unique_ptr<RealAgent>> agents_;
    std::string failure_;
};

} // namespace testsupport
