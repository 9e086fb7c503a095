// A simulated site for the search of printers, in a network namespace of the test's own: in 198.18.0.0/24, 30
// printers of mixed makes (one snmpsim serving each its own data on its own address; some only with the community
// of a version 2c profile), 70 hosts that answer ping but not SNMP, and every other address silent.
#pragma once

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
    bool v2cOnly = false; // answers only the community SiteCommunity
};

class SimulatedSite {
public:
    static constexpr const char *Range = "198.18.0.0/24";
    static constexpr const char *SiteCommunity = "site-v2";
    static constexpr int PingOnlyHosts = 70;

    SimulatedSite();
    ~SimulatedSite();

    bool ready() const { return failure_.empty(); }
    const std::string &failure() const { return failure_; }
    const std::vector<SitePrinter> &printers() const { return printers_; }
    // The expected maker, as discover names it, of a make.
    static std::string makerOf(const std::string &make);

private:
    PrivateNetwork network_;
    std::vector<SitePrinter> printers_;
    std::unique_ptr<RealAgent> agent_;
    std::string failure_;
};

} // namespace testsupport
