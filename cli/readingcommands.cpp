// meterlane-cli read and probe: the reading engine on one printer, headless. Nothing stored is changed.
#include "commands.h"
#include "consolewindow.h"

#include "discovery/network.h"
#include "reading/brand.h"
#include "reading/keypoint.h"
#include "reading/printerinfo.h"
#include "reading/probe.h"
#include "store/config.h"
#include "store/globals.h"

#include <QTextStream>

namespace cli {
namespace {

// The printer's address, or an error line and nothing.
QString resolved(const QString &host) {
    const QString address = discovery::ResolveHost(host);
    if (address.isEmpty()) QTextStream(stderr) << "PIP error: " << host << ">\n";
    return address;
}

} // namespace

int readCommand(const QStringList &arguments) {
    QStringList args = arguments;
    if (!takeProgramFolder(args)) return ExitUsage;
    if (args.size() != 1) return usageError(QStringLiteral("read takes HOST [--folder DIR]"));
    const QString host = args[0];
    store::Globals &globals = store::globals();
    globals.vendorId = store::ReadIniValue(globals.iniFile, QStringLiteral("Vendor"), QStringLiteral("ID"));

    ConsoleWindow console;
    platform::setWindow(&console);
    const QString address = resolved(host);
    if (address.isEmpty()) return ExitFailed;
    // As a read-and-send cycle reads a record for the first time: brand, key point, then the reading.
    QString sysDescr, identity;
    const short brand = reading::GetCodeBrand(address, sysDescr);
    const short rules = reading::readingRules(brand, sysDescr);
    const QString keyPoint = reading::SearchPrinterKeyPoint(rules, address, identity);
    const reading::PrinterReading found = reading::readPrinter(rules, host, address, QString(), keyPoint, identity);
    platform::setWindow(nullptr);

    QTextStream out(stdout);
    out << "brand: " << brand << "\n"
        << "sysDescr: " << sysDescr << "\n"
        << "keypoint: " << keyPoint << "\n"
        << "identity: " << identity << "\n"
        << "model: " << found.model << "\n"
        << "totals: " << found.totalBW << ";" << found.totalColour << "\n"
        << "toner: " << oneLine(found.tonerWarning) << "\n"
        << "record: " << found.record << "\n";
    return ExitOk;
}

int probeCommand(const QStringList &arguments) {
    QStringList args = arguments;
    if (!takeProgramFolder(args)) return ExitUsage;
    if (args.size() != 1) return usageError(QStringLiteral("probe takes HOST [--folder DIR]"));
    const reading::ProbeLabels labels = reading::ProbeSelectedPrinter(args[0], QString());
    if (!labels.status.isEmpty()) {
        QTextStream(stderr) << labels.status << "\n";
        return ExitFailed;
    }
    QTextStream(stdout) << "brand: " << labels.brand << "\n"
                        << "sysDescr: " << labels.brandTip << "\n"
                        << "model: " << labels.model << "\n"
                        << "id: " << labels.identity << "\n"
                        << "counter: " << labels.counter << "\n";
    return ExitOk;
}

} // namespace cli
