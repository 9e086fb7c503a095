// meterlane-cli: the headless companion of the desktop program, for servers, scripts and diagnostics.
#include "commands.h"

#include "platform/componentfactory.h"
#include "store/globals.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

namespace cli {

int usageError(const QString &message) {
    QTextStream(stderr) << "meterlane-cli: " << message << "\n";
    return ExitUsage;
}

bool takeProgramFolder(QStringList &args) {
    QString folder = QCoreApplication::applicationDirPath();
    const qsizetype at = args.indexOf(QStringLiteral("--folder"));
    if (at >= 0) {
        if (at + 1 >= args.size()) {
            usageError(QStringLiteral("--folder needs a folder"));
            return false;
        }
        folder = args.takeAt(at + 1);
        args.removeAt(at);
    }
    store::setProgramFolder(folder);
    return true;
}

} // namespace cli

namespace {

struct Command {
    const char *name;
    int (*run)(const QStringList &args);
    const char *synopsis;
};

constexpr Command Commands[] = {
    {"snmp", cli::snmpCommand,
     "snmp get|getnext|set|walk HOST OID [VALUE] [--community TEXT] [--type 0|1] [--full-walk]"},
    {"encode", cli::encodeCommand, "encode TEXT"},
    {"decode", cli::decodeCommand, "decode TEXT"},
    {"vendors", cli::vendorsCommand, "vendors"},
    {"resolve", cli::resolveCommand, "resolve HOST"},
    {"shellping", cli::shellpingCommand, "shellping HOST"},
    {"ping", cli::pingCommand, "ping ADDRESS..."},
    {"scan", cli::scanCommand,
     "scan FIRST LAST [--op get|getnext|set|walk] [--oids LIST] [--value V] [--integer] [--full-walk] [--folder DIR]"},
    {"ini", cli::iniCommand, "ini get|set FILE SECTION KEY [VALUE]"},
    {"read", cli::readCommand, "read HOST [--folder DIR]"},
    {"probe", cli::probeCommand, "probe HOST [--folder DIR]"},
    {"cycle", cli::cycleCommand, "cycle [--folder DIR]"},
    {"run", cli::runCommand, "run [--folder DIR]"},
};

int printUsage(FILE *to, int status) {
    std::fprintf(to, "usage: meterlane-cli COMMAND ...\n");
    for (const Command &command : Commands) std::fprintf(to, "  meterlane-cli %s\n", command.synopsis);
    return status;
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    platform::setLibraryFolder(QCoreApplication::applicationDirPath());
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) return printUsage(stderr, cli::ExitUsage);
    const QString name = args.takeFirst();
    if (name == QLatin1String("--help") || name == QLatin1String("help")) return printUsage(stdout, cli::ExitOk);
    for (const Command &command : Commands)
        if (name == QLatin1String(command.name)) return command.run(args);
    cli::usageError(QStringLiteral("unknown command %1").arg(name));
    return printUsage(stderr, cli::ExitUsage);
}
