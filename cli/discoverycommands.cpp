// meterlane-cli resolve, shellping and ping: host resolution, the command-line ping and the parallel pinger as the
// desktop program uses them.
#include "commands.h"

#include "discovery/console.h"
#include "platform/hostresolution.h"
#include "discovery/pingbase.h"
#include "discovery/shellping.h"
#include "platform/fault.h"

#include <QTextStream>

#include <algorithm>
#include <vector>

namespace cli {

int resolveCommand(const QStringList &args) {
    if (args.size() != 1) return usageError(QStringLiteral("resolve takes HOST"));
    const QString address = platform::ResolveHost(args[0]);
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

int pingCommand(const QStringList &args) {
    if (args.isEmpty()) return usageError(QStringLiteral("ping takes ADDRESS..."));
    const int count = static_cast<int>(args.size());
    std::vector<QString> times(count, QStringLiteral("---"));
    discovery::ClassPingBase pinger;
    QObject::connect(&pinger, &discovery::ClassPingBase::PingSuccess,
                     [&times](const QString &, int time, int index) { times[index] = QString::number(time); });
    pinger.setNumParalellActions(discovery::ConsolePingWidth);
    QStringList addresses = args;
    addresses.append(QString()); // the pinger never uses its last element
    pinger.PingHostList(addresses, discovery::ConsolePingTimeOutMs, count * discovery::ConsolePingMsPerAddress);

    QTextStream out(stdout);
    for (int index = 0; index < count; ++index) out << index << " " << args[index] << " " << times[index] << "\n";
    out.flush();
    if (!pinger.lastError().isEmpty()) QTextStream(stderr) << "meterlane-cli: " << pinger.lastError() << "\n";
    const bool allAnswered = std::find(times.begin(), times.end(), QStringLiteral("---")) == times.end();
    return allAnswered ? ExitOk : ExitFailed;
}

} // namespace cli
