// The subcommands of meterlane-cli. Each takes its own arguments (after the subcommand's name) and returns the
// process exit status: 0 done, 1 failed, 2 usage error.
#pragma once

#include <QStringList>

namespace cli {

constexpr int ExitOk = 0;
constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;

int usageError(const QString &message);

int snmpCommand(const QStringList &args);

} // namespace cli
