// meterlane-cli outbox: the readings waiting for the service to take them, and a way to send them now.
#include "commands.h"
#include "consolewindow.h"

#include "store/globals.h"
#include "upload/outbox.h"

#include <QTextStream>

namespace cli {

int outboxCommand(const QStringList &args) {
    QCommandLineParser parser;
    const QCommandLineOption send(QStringLiteral("send"));
    parser.addOptions({folderOption(), send});
    if (!parseArguments(parser, QStringLiteral("outbox"), args)) return ExitUsage;
    if (!parser.positionalArguments().isEmpty()) return usageError(QStringLiteral("outbox takes [--send] [--folder DIR]"));
    if (!useProgramFolder(parser)) return ExitFailed;
    QString failure;
    const auto readings = upload::readOutbox(&failure);
    if (!parser.isSet(send)) {
        if (!readings) {
            QTextStream(stderr) << "meterlane-cli: " << failure << "\n";
            return ExitFailed;
        }
        QTextStream out(stdout);
        for (const upload::WaitingReading &reading : *readings)
            out << reading.host << '\t' << reading.readAt.toString(Qt::ISODateWithMs) << '\t' << reading.tries
                << (reading.tries == 1 ? " try" : " tries") << '\t' << reading.lastFailure << "\n";
        return ExitOk;
    }
    if (!lockProgramFolder()) return ExitFailed;
    ConsoleWindow console;
    platform::setWindow(&console);
    QString unusable; // the status line has said why (on standard error)
    upload::retryWaitingReadings(false, &unusable);
    const bool kept = console.waitForRequests();
    platform::setWindow(nullptr);
    return unusable.isEmpty() && kept && console.failedRequests() == 0 ? ExitOk : ExitFailed;
}

} // namespace cli
