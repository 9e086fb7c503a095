// The search of a /24 for printers beside the console's ping-then-ask over the same range, both as whole processes,
// on the tests' simulated site in a network namespace of its own: 30 printers (some only through a version 2c or 3
// profile), a host that answers SNMP without being a printer, 70 hosts that answer only ping, the rest silent.
// meterlane-cli discover asks every address with every profile at once; meterlane-cli scan pings the range, then
// asks each host that answered in turn with "public", so that each ping-only host costs a full SNMP time-out with
// its retries. The scan runs once (it takes minutes), the search RUNS times.
//   bench_discover [RUNS]   prints each run, then "discover_median_ms=...", "discover_printers=..." and "scan_ms=..."
#include "support/printers.h"
#include "support/site.h"

#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
const std::string Cli = METERLANE_BIN_DIR "/meterlane-cli";

long long elapsedMs(Clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
}

// The profiles that reach every printer of the site, readable by their owner only.
bool writeCredentials(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(QStringLiteral("[office]\nVersion=1\nCommunity=public\n[site]\nVersion=2c\nCommunity=%1\n"
                              "[jetdirect]\nVersion=3\nUser=%2\nAuthProtocol=SHA-256\nAuthPassphrase=%3\n"
                              "PrivProtocol=AES-256\nPrivPassphrase=%4\nContext=%5\n")
                   .arg(testsupport::V2cCommunity, testsupport::V3User, testsupport::V3AuthPassphrase,
                        testsupport::V3PrivPassphrase, testsupport::V3Context)
                   .toUtf8());
    return file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

// The number in the last progress line's "N printers", -1 when there is none.
int printersFound(const std::string &progress) {
    const auto end = progress.rfind(" printers");
    if (end == std::string::npos) return -1;
    const auto start = progress.rfind(' ', end - 1);
    return std::stoi(progress.substr(start + 1, end - start - 1));
}

} // namespace

int main(int argc, char *argv[]) {
    const int runs = argc > 1 ? std::max(std::atoi(argv[1]), 1) : 5;
    testsupport::SimulatedSite site;
    if (!site.ready()) {
        std::fprintf(stderr, "bench_discover: the simulated site did not start: %s\n", site.failure().c_str());
        return 1;
    }
    QTemporaryDir folder;
    if (!writeCredentials(folder.filePath(QStringLiteral("snmp-credentials.ini")))) {
        std::fprintf(stderr, "bench_discover: cannot write the credentials file\n");
        return 1;
    }
    const std::string folderPath = folder.path().toStdString();

    std::vector<long long> times;
    int printers = -1;
    for (int run = 1; run <= runs; ++run) {
        const auto started = Clock::now();
        const testsupport::CommandResult result =
            testsupport::runCommand({Cli, "discover", testsupport::SimulatedSite::Range, "--folder", folderPath});
        times.push_back(elapsedMs(started));
        printers = result.status == 0 ? printersFound(result.err) : -1;
        std::printf("discover run %d: %lld ms, %d printers\n", run, times.back(), printers);
    }
    std::sort(times.begin(), times.end());

    const auto started = Clock::now();
    const testsupport::CommandResult scan = testsupport::runCommand(
        {Cli, "scan", "198.18.0.1", "198.18.0.254", "--oids", "1.3.6.1.2.1.1.1.0", "--folder", folderPath});
    const long long scanMs = elapsedMs(started);
    int scanPrinters = 0;
    for (const std::string &line : testsupport::splitLines(scan.out))
        scanPrinters += line.rfind("- 1.3.6.1.2.1.1.1.0 : ", 0) == 0 && line.find("[Vantobe.") == std::string::npos;
    std::printf("scan: %lld ms, %d hosts answered the get (status %d)\n", scanMs, scanPrinters, scan.status);

    std::printf("discover_median_ms=%lld\ndiscover_printers=%d\nscan_ms=%lld\nscan_answers=%d\n",
                times[times.size() / 2], printers, scanMs, scanPrinters);
    return 0;
}
