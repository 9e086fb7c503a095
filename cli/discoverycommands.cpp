// meterlane-cli resolve and shellping: host resolution and the command-line ping as the desktop program uses them.
#include "commands.h"

#include "discovery/network.h"
#include "discovery/shellping.h"
#include "platform/fault.h"

#include <QTextStream>

namespace cli {

int resolveCommand(const QStringList &args) {
    if (args.size() != 1) return usageError(QStringLiteral("resolve takes HOST"));
    const QString address = discovery::ResolveHost(args[0]);
    if (address.isEmpty()) {
        QTextStream(stderr) << "cannot resolve " << args[0] << "\n";
        return ExitFailed;
    }
    QTextStream(stdout) << address << "\n";
    return ExitOk;
}

int shellpingCommand(const QStringList &args) {
    if (args.size() != 1) return usageError(QStringLiteral("shellping takes HOST"));
    try {
        const short time = discovery::PingViaShell(args[0]);
        QTextStream(stdout) << time << "\n";
        return time >= 0 ? ExitOk : ExitFailed;
    } catch (const platform::Fault &fault) {
        QTextStream(stderr) << "error " << fault.number << ": " << fault.description << "\n";
        return ExitFailed;
    }
}

} // namespace cli
