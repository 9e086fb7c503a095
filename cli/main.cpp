// meterlane-cli: the headless companion of the desktop program, for servers, scripts and diagnostics.
#include "commands.h"

#include "platform/componentfactory.h"
#include "reading/printermib.h"
#include "store/alertsettings.h"
#include "store/folderlock.h"
#include "store/globals.h"
#include "store/history.h"
#include "store/pips.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTextStream>

#include <optional>

namespace cli {

int usageError(const QString &message) {
    QTextStream(stderr) << "meterlane-cli: " << message << "\n";
    return ExitUsage;
}

const QCommandLineOption &folderOption() {
    static const QCommandLineOption folder(QStringLiteral("folder"), QString(), QStringLiteral("DIR"));
    return folder;
}

bool parseArguments(QCommandLineParser &parser, const QString &command, const QStringList &args) {
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    if (parser.parse(QStringList{command} + args)) return true;
    usageError(parser.errorText());
    return false;
}

bool useProgramFolder(const QCommandLineParser &parser) {
    if (parser.isSet(folderOption())) {
        store::setProgramFolder(parser.value(folderOption()));
        return true;
    }
    if (store::useProgramFolder(QCoreApplication::applicationDirPath())) return true;
    QTextStream(stderr) << "meterlane-cli: cannot make folder " << store::globals().programFolder << "\n";
    return false;
}

int eachPrinter(const QString &command, const QStringList &args, const QString &notRead, const PrinterShow &show) {
    QCommandLineParser parser;
    const QCommandLineOption json(QStringLiteral("json"));
    parser.addOptions({json, folderOption()});
    if (!parseArguments(parser, command, args)) return ExitUsage;
    if (!useProgramFolder(parser)) return ExitFailed;
    if (!reading::printermib::enabled()) {
        QTextStream(stderr) << "meterlane-cli: " << notRead << " not read while StandardPrinterMib is 0 in "
                            << store::globals().iniFile << "\n";
        return ExitFailed;
    }
    QStringList hosts = parser.positionalArguments();
    const bool named = !hosts.isEmpty();
    if (!named)
        for (const store::MonitoredPrinter &printer : store::monitoredPrinters())
            hosts << printer.host;
    if (hosts.isEmpty()) QTextStream(stderr) << "meterlane-cli: no printer in " << store::globals().iniFile << "\n";
    store::alertSettings(); // says its problems on standard error, once
    bool allAnswered = true;
    QTextStream out(stdout);
    for (const QString &host : hosts) {
        allAnswered = show(host, named, parser.isSet(json), out) && allAnswered;
        out.flush();
    }
    return allAnswered ? ExitOk : ExitFailed;
}

std::unique_ptr<store::History> readHistory(bool sayMissing) {
    const QString folder = store::globals().programFolder;
    QTextStream err(stderr);
    if (!QFileInfo::exists(folder + u'/' + store::HistoryFileName)) {
        if (sayMissing) err << "meterlane-cli: no history kept in " << folder << " yet\n";
        return nullptr;
    }
    auto history = std::make_unique<store::History>(folder, /*readOnly*/ true);
    if (history->isOpen()) return history;
    err << "meterlane-cli: " << history->failure() << "\n";
    return nullptr;
}

bool lockProgramFolder() {
    static std::optional<store::FolderLock> lock; // held until the process ends
    lock.emplace(store::globals().programFolder);
    if (lock->tryLock()) return true;
    QTextStream(stderr) << "meterlane-cli: " << lock->failure() << "\n";
    return false;
}

} // namespace cli

namespace {

struct Command {
    const char *name;
    int (*run)(const QStringList &args);
    const char *synopsis;
    const char *description;
};

constexpr Command Commands[] = {
    {"snmp", cli::snmpCommand,
     "snmp get|getnext|set|walk HOST OID [VALUE] [--type 0|1] [--full-walk]\n"
     "                    [-v 1|2c|3] [-c COMMUNITY] [-u USER] [-l noAuthNoPriv|authNoPriv|authPriv]\n"
     "                    [-a MD5|SHA|SHA-224|SHA-256|SHA-384|SHA-512] [-A PASSPHRASE] [-x DES|AES|AES-192|AES-256]\n"
     "                    [-X PASSPHRASE] [-n CONTEXT] | [--profile NAME [--folder DIR]]",
     "One get, get-next, set or walk through the library, created by name as the desktop program creates it.\n"
     "It asks with version 1 and the community \"public\", or as Net-SNMP's options say (a value may be\n"
     "attached: -v2c), or as the profile NAME of snmp-credentials.ini says. -A and -X show in the process list:\n"
     "use --profile where others may look. --community TEXT is -c. A value or OID beginning with \"-\" goes\n"
     "after \"--\"."},
    {"encode", cli::encodeCommand, "encode TEXT", "Scrambles a text as the program does for service addresses."},
    {"decode", cli::decodeCommand, "decode TEXT", "The inverse of encode, as the service applies it."},
    {"vendors", cli::vendorsCommand, "vendors [--folder DIR]",
     "Every service address of each vendor identifier, under the service root in effect for the program folder:\n"
     "METERLANE_SERVICE_URL, else [Vendor] ServiceRoot of its meterlane.ini, else [Vendor] ServiceRoot of zov.vnd\n"
     "(the program folder's, else /etc/meterlane's), else the built-in root."},
    {"resolve", cli::resolveCommand, "resolve HOST",
     "A host name to its IPv4 address (four dotted parts pass unchanged)."},
    {"shellping", cli::shellpingCommand, "shellping HOST",
     "Round-trip time in ms from the system ping, -1 for no answer."},
    {"ping", cli::pingCommand, "ping ADDRESS...",
     "The console's ping phase over the addresses: \"index address ms\", or \"index address ---\" for no answer."},
    {"scan", cli::scanCommand,
     "scan FIRST LAST [--op get|getnext|set|walk] [--oids LIST] [--value V] [--integer] [--full-walk] [--folder DIR]",
     "The SNMP console's run, headless: the result lines on standard output, then appended to zovdata.txt."},
    {"discover", cli::discoverCommand, "discover RANGE... [--json] [--add] [--folder DIR]",
     "Searches the ranges (a.b.c.d, a.b.c.d-e, a.b.c.d-a.b.c.e or CIDR up to a /16) for printers over SNMP, with the\n"
     "credential profiles of each address, all addresses at once: one line per host that answered, in address order,\n"
     "address, maker, model, identity and state (monitored, new, not a printer) separated by tabs; --json gives JSON\n"
     "lines. --add puts the new printers into free slots and announces them as the printer dialog does."},
    {"ini", cli::iniCommand, "ini get|set FILE SECTION KEY [VALUE]",
     "Reads or writes one value of an ini file as the program does. A value beginning with \"-\" goes after \"--\"."},
    {"read", cli::readCommand, "read HOST [--folder DIR]",
     "Reads a printer as the read-and-send cycle reads a new one, with the maker and the slots its counter map filled."},
    {"probe", cli::probeCommand, "probe HOST [--folder DIR]",
     "The few identifying values the main window shows for a printer."},
    {"maps", cli::mapsCommand, "maps [--folder DIR]",
     "The counter map entries in effect, each with its file, its maker's recognition and its slots: those of the\n"
     "installed share folder, replaced entry by entry by those of /etc/meterlane (METERLANE_SYSTEM_FOLDER), then\n"
     "by those of the program folder; each file is counter-maps.ini."},
    {"profiles", cli::profilesCommand, "profiles [HOST] [--folder DIR]",
     "The SNMP profiles of snmp-credentials.ini ($CREDENTIALS_DIRECTORY, else the program folder, else\n"
     "/etc/meterlane), passphrases masked. With a host: the profiles that apply to it tried in the order the\n"
     "program tries them, one sysDescr get each (without retries unless only one applies), with how long each\n"
     "took, until one answers."},
    {"cycle", cli::cycleCommand, "cycle [--folder DIR]",
     "One read-and-send cycle of every printer in meterlane.ini; a reading the service did not take waits in the\n"
     "outbox, and the cycle exits 1."},
    {"run", cli::runCommand, "run [--folder DIR]",
     "The timed read-and-send cycles, until SIGINT or SIGTERM (honoured between printers); at every tick the\n"
     "waiting readings and alerts whose wait is over are sent again, and the daily summaries due are made."},
    {"status", cli::statusCommand, "status [HOST...] [--json] [--folder DIR]",
     "With hosts: reads each printer now (device and printer status, the error bits, every alert row, the panel\n"
     "lines) and shows the conditions they give, less those alerts.ini mutes. Without: the conditions remembered for\n"
     "every printer in meterlane.ini, and since when a silent one is not answering. --json gives one JSON object per\n"
     "printer a line. It exits 1 when a printer does not answer (without hosts: did not answer its last read, or\n"
     "was never read), and while StandardPrinterMib is 0. It changes nothing stored: condition-state.json stays as\n"
     "it is."},
    {"supplies", cli::suppliesCommand, "supplies [HOST...] [--json] [--folder DIR]",
     "Reads every supply of each printer now (without hosts: of every printer in meterlane.ini): a line per supply\n"
     "with its kind, colour, fill (what is left, or how full a waste box is; a word where there is no percent),\n"
     "level and maximum, description, and the part and serial number where the printer gives them, then the\n"
     "conditions the levels give. --json gives one JSON object per printer a line. It exits 1 when a printer does\n"
     "not answer, and while StandardPrinterMib is 0. Each supply with a fill has its days left (to full, for a\n"
     "receptacle) from the levels history.sqlite keeps: \"not yet known\" (null) before two distinct levels 14 days\n"
     "apart."},
    {"history", cli::historyCommand, "history HOST [--since DATE] [--until DATE] [--csv|--json] [--folder DIR]",
     "The readings, supply levels and conditions history.sqlite keeps of a printer, in time order, one a line.\n"
     "DATE is YYYY-MM-DD, a local day (from its start with --since, to its end with --until), or an ISO 8601 date\n"
     "and time. --csv gives a header line and a line per row; --json one JSON object per row a line. It exits 1\n"
     "where no history is kept (none yet, or while StandardPrinterMib is 0)."},
    {"usage", cli::usageCommand, "usage [HOST...] [--by day|week|month] [--since DATE] [--csv|--json] [--folder DIR]",
     "The pages of each printer (without hosts: of every printer history.sqlite keeps) per day, week or month\n"
     "(by default), black-and-white and colour, from the differences of its totals, and whether the period has\n"
     "readings at both ends (complete) or is estimated; after each period's printers, their total. A total that\n"
     "drops, or another identity at the address, starts a new series: the jump is never counted. --csv gives a\n"
     "header line and a line per row (the total's host empty); --json one JSON object per row a line (the total's\n"
     "host null). It exits 1 where no history is kept (none yet, or while StandardPrinterMib is 0)."},
    {"outbox", cli::outboxCommand, "outbox [--send] [--folder DIR]",
     "The readings waiting to be sent, one a line: host, when it was read (UTC), tries, the last failure.\n"
     "--send sends them now; it exits 1 unless the service took every one, and when the outbox cannot be read or\n"
     "is no outbox file (it is set aside), saying why on standard error."},
    {"alerts", cli::alertsCommand, "alerts [test [CHANNEL] | --send] [--folder DIR]",
     "The mail and webhook channels of alerts.ini ($CREDENTIALS_DIRECTORY, else the program folder, else\n"
     "/etc/meterlane), with passwords, the webhook's query and header values masked, what each takes, a channel's\n"
     "failure while it lasts, then the messages waiting in the alerts outbox: channel, made (UTC), tries, subject,\n"
     "last failure. test sends a test message through every channel (or the one named) at once and exits 1 unless\n"
     "every one took it. --send sends what waits now; it exits 1 unless every message was taken or refused for\n"
     "good."},
};

const Command *findCommand(const QString &name) {
    for (const Command &command : Commands)
        if (name == QLatin1String(command.name)) return &command;
    return nullptr;
}

int printUsage(FILE *to, int status) {
    QTextStream out(to);
    out << "usage: meterlane-cli COMMAND ...\n";
    for (const Command &command : Commands) out << "  meterlane-cli " << command.synopsis << "\n";
    out << "  meterlane-cli help COMMAND    what one command does\n"
           "  meterlane-cli --version\n"
           "The program folder: --folder DIR, else the program's own folder when it holds meterlane.ini or zov.vnd,\n"
           "else $XDG_DATA_HOME/meterlane (made when missing).\n";
    return status;
}

// help [COMMAND]: the synopsis and what the command does, or the usage of every command.
int helpCommand(const QStringList &args) {
    if (args.isEmpty()) return printUsage(stdout, cli::ExitOk);
    const Command *command = args.size() == 1 ? findCommand(args[0]) : nullptr;
    if (!command) return cli::usageError(QStringLiteral("help takes one of the commands that --help lists"));
    QTextStream(stdout) << "usage: meterlane-cli " << command->synopsis << "\n" << command->description << "\n";
    return cli::ExitOk;
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    platform::setLibraryFolder(QCoreApplication::applicationDirPath());
    QCommandLineParser parser; // the options before the command; what follows the command is the command's
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption help(QStringLiteral("help")), version(QStringLiteral("version"));
    parser.addOptions({help, version});
    if (!parser.parse(QCoreApplication::arguments())) {
        cli::usageError(parser.errorText());
        return printUsage(stderr, cli::ExitUsage);
    }
    if (parser.isSet(version)) {
        QTextStream(stdout) << "meterlane-cli " << METERLANE_VERSION << "\n";
        return cli::ExitOk;
    }
    if (parser.isSet(help)) return printUsage(stdout, cli::ExitOk);
    QStringList args = parser.positionalArguments();
    if (args.isEmpty()) return printUsage(stderr, cli::ExitUsage);
    const QString name = args.takeFirst();
    if (name == QLatin1String("help")) return helpCommand(args);
    if (const Command *command = findCommand(name)) return command->run(args);
    cli::usageError(QStringLiteral("unknown command %1").arg(name));
    return printUsage(stderr, cli::ExitUsage);
}
