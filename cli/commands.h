// The subcommands of meterlane-cli. Each takes its own arguments (after the subcommand's name) and returns the
// process exit status: 0 done, 1 failed, 2 usage error.
#pragma once

#include <QCommandLineParser>
#include <QJsonValue>
#include <QStringList>
#include <QTextStream>

#include <functional>
#include <memory>

namespace store {
class History;
}

namespace cli {

constexpr int ExitOk = 0;
constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;

// Says what is wrong with the command line on standard error; ExitUsage.
int usageError(const QString &message);

// --folder DIR, taken by the commands that work on the program folder.
const QCommandLineOption &folderOption();

// Parses the arguments of the command with parser, to which the command has added its options: words of one dash
// read as long options, and "--" ends the options, so that a value beginning with "-" goes after it. False after a
// usage message.
bool parseArguments(QCommandLineParser &parser, const QString &command, const QStringList &args);

// Points the program's globals at the folder --folder names, else at this copy's program folder (made when
// missing). False after saying why.
bool useProgramFolder(const QCommandLineParser &parser);

// Takes the program folder's lock for the rest of the process, as a command that runs a cycle or writes the
// configuration file must. False after saying why: the copy that holds it, or what keeps it from being taken.
bool lockProgramFolder();

// The frame of the commands that read printers' condition (status, supplies): --json and --folder, a refusal while
// StandardPrinterMib is 0 (what names what is not read), the hosts named or else every monitored printer, and for
// each the text show writes, which says whether the host answered. ExitOk when every host answered.
using PrinterShow = std::function<bool(const QString &host, bool named, bool json, QTextStream &out)>;
int eachPrinter(const QString &command, const QStringList &args, const QString &notRead, const PrinterShow &show);

// A text for JSON: null where it is empty.
inline QJsonValue textOrNull(const QString &text) { return text.isEmpty() ? QJsonValue() : QJsonValue(text); }

// The program folder's history store opened read-only, so that a cycle may write it meanwhile. Nothing where the
// folder has none yet (said on standard error where sayMissing) or where it cannot be read (said).
std::unique_ptr<store::History> readHistory(bool sayMissing);

int snmpCommand(const QStringList &args);
int iniCommand(const QStringList &args);
int encodeCommand(const QStringList &args);
int decodeCommand(const QStringList &args);
int vendorsCommand(const QStringList &args);
int resolveCommand(const QStringList &args);
int shellpingCommand(const QStringList &args);
int pingCommand(const QStringList &args);
int scanCommand(const QStringList &args);
int discoverCommand(const QStringList &args);
int readCommand(const QStringList &args);
int probeCommand(const QStringList &args);
int mapsCommand(const QStringList &args);
int profilesCommand(const QStringList &args);
int cycleCommand(const QStringList &args);
int runCommand(const QStringList &args);
int outboxCommand(const QStringList &args);
int statusCommand(const QStringList &args);
int suppliesCommand(const QStringList &args);
int historyCommand(const QStringList &args);
int usageCommand(const QStringList &args);
int alertsCommand(const QStringList &args);

} // namespace cli
