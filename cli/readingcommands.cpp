// meterlane-cli read and probe: the reading engine on one printer, headless. Nothing stored is changed.
#include "commands.h"
#include "consolewindow.h"

#include "discovery/network.h"
#include "reading/brand.h"
#include "reading/keypoint.h"
#include "reading/printerinfo.h"
#include "reading/probe.h"
#include "store/config.h"

#include <QTextStream>

namespace cli {
namespace {

// The printer's address, or an error line and nothing.
QString resolved(const QString &host) {
    const QString address = discovery::ResolveHost(host);
    if (address.isEmpty()) QTextStream(stderr) << "PIP error: " << host << ">\n";
    return address;
}

// HOST [--folder DIR]: the host, with the globals pointed at the program folder; else the exit status, after saying
// why.
int hostInFolder(const QString &command, const QStringList &args, QString &host) {
    QCommandLineParser parser;
    parser.addOption(folderOption());
    if (!parseArguments(parser, command, args)) return ExitUsage;
    if (parser.positionalArguments().size() != 1)
        return usageError(command + QStringLiteral(" takes HOST [--folder DIR]"));
    if (!useProgramFolder(parser)) return ExitFailed;
    host = parser.positionalArguments().constFirst();
    return ExitOk;
}

} // namespace

int readCommand(const QStringList &args) {
    QString host;
    if (const int status = hostInFolder(QStringLiteral("read"), args, host); status != ExitOk) return status;
    store::readVendorValues();

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

int probeCommand(const QStringList &args) {
    QString host;
    if (const int status = hostInFolder(QStringLiteral("probe"), args, host); status != ExitOk) return status;
    const reading::ProbeLabels labels = reading::ProbeSelectedPrinter(host, QString());
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
