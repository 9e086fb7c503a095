// meterlane-cli: the headless companion of the desktop program, for servers, scripts and diagnostics.
#include "commands.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

namespace cli {

int usageError(const QString &message) {
    QTextStream(stderr) << "meterlane-cli: " << message << "\n";
    return ExitUsage;
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
};

int printUsage(FILE *to, int status) {
    std::fprintf(to, "usage: meterlane-cli COMMAND ...\n");
    for (const Command &command : Commands) std::fprintf(to, "  meterlane-cli %s\n", command.synopsis);
    return status;
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) return printUsage(stderr, cli::ExitUsage);
    const QString name = args.takeFirst();
    if (name == QLatin1String("--help") || name == QLatin1String("help")) return printUsage(stdout, cli::ExitOk);
    for (const Command &command : Commands)
        if (name == QLatin1String(command.name)) return command.run(args);
    cli::usageError(QStringLiteral("unknown command %1").arg(name));
    return printUsage(stderr, cli::ExitUsage);
}
