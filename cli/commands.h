// The subcommands of meterlane-cli. Each takes its own arguments (after the subcommand's name) and returns the
// process exit status: 0 done, 1 failed, 2 usage error.
#pragma once

#include <QStringList>

namespace cli {

constexpr int ExitOk = 0;
constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;

int usageError(const QString &message);

// Points the program's globals at --folder DIR when given, else at the folder the tool is installed in; takes
// the option out of args. False (with a usage message shown) when --folder lacks its value.
bool takeProgramFolder(QStringList &args);

int snmpCommand(const QStringList &args);
int iniCommand(const QStringList &args);
int encodeCommand(const QStringList &args);
int decodeCommand(const QStringList &args);
int vendorsCommand(const QStringList &args);
int resolveCommand(const QStringList &args);
int shellpingCommand(const QStringList &args);
int pingCommand(const QStringList &args);
int scanCommand(const QStringList &args);
int readCommand(const QStringList &args);
int probeCommand(const QStringList &args);
int cycleCommand(const QStringList &args);
int runCommand(const QStringList &args);

} // namespace cli
