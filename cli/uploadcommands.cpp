// meterlane-cli encode, decode and vendors: the scrambler and the service addresses in effect for a program folder,
// for administrators and scripts.
#include "commands.h"

#include "store/config.h"
#include "upload/scrambler.h"
#include "store/servicetable.h"

#include <QTextStream>

namespace cli {
namespace {

int printScrambled(const QStringList &args, const char *name, QString (*scramble)(const QString &)) {
    if (args.size() != 1) return usageError(QStringLiteral("%1 takes one TEXT").arg(QLatin1String(name)));
    QTextStream(stdout) << scramble(args[0]) << "\n";
    return ExitOk;
}

} // namespace

int encodeCommand(const QStringList &args) { return printScrambled(args, "encode", upload::EncodeText); }

int decodeCommand(const QStringList &args) { return printScrambled(args, "decode", upload::DecodeText); }

int vendorsCommand(const QStringList &args) {
    QCommandLineParser parser;
    parser.addOption(folderOption());
    if (!parseArguments(parser, QStringLiteral("vendors"), args)) return ExitUsage;
    if (!parser.positionalArguments().isEmpty()) return usageError(QStringLiteral("vendors takes [--folder DIR]"));
    if (!useProgramFolder(parser)) return ExitFailed;
    store::readVendorValues();
    QTextStream out(stdout);
    for (const store::VendorAddresses &vendor : store::vendorTable()) {
        out << vendor.vendorId << " upload=" << vendor.upload << " download=" << vendor.download
            << " announcement=" << vendor.announcement << " startup-portal=" << vendor.startupPortal
            << " portal-button=" << vendor.portalButton << (vendor.portalTakesToken ? "<token>" : "") << "\n";
    }
    out << "(other) download=" << store::defaultDownloadAddress() << "\n";
    return ExitOk;
}

} // namespace cli
