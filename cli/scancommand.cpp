// meterlane-cli scan: the SNMP console's run headless. The ping phase, then the SNMP phase; every result line goes
// to standard output as it is made and, at the end, to zovdata.txt in the program folder. SIGINT asks the run to
// stop as "ABORT!" does (a second one ends the program). Why the addresses could not be pinged, and a results file
// that cannot be written, go to standard error, and the exit status is 1.
#include "commands.h"

#include "discovery/console.h"
#include "platform/eventpump.h"

#include <QCommandLineParser>
#include <QTextStream>

#include <csignal>
#include <optional>

namespace cli {
namespace {

// The console's design value of txtOID.
const QString DefaultOids =
    QStringLiteral("1.3.6.1.2.1.1.1.0;1.3.6.1.2.1.25.3.2.1.3.1;1.3.6.1.2.1.43.10.2.1.4.1.1");

volatile std::sig_atomic_t interrupted = 0;

void interrupt(int) {
    interrupted = 1;
    std::signal(SIGINT, SIG_DFL);
}

// The console's controls on a terminal: result lines on standard output, the completion message and failures on
// standard error.
class TerminalConsole : public discovery::ConsoleView {
public:
    void setRunning(bool) override {}
    void clearAddresses() override {}
    void addAddress(const QString &) override {}
    void showPingResult(int, const QString &, int) override {}
    void showCurrentAddress(const QString &, bool) override {}
    void clearResults() override { lines_.clear(); }
    void addResult(const QString &line) override {
        lines_.append(line);
        out_ << line << "\n";
        out_.flush();
    }
    QStringList results() const override { return lines_; }
    void showCompletion(const QString &message) override { QTextStream(stderr) << message << "\n"; }
    void showFailure(const QString &text) override {
        failed_ = true;
        QTextStream(stderr) << "meterlane-cli: " << text << "\n";
    }
    bool failed() const { return failed_; }

private:
    bool failed_ = false;
    QStringList lines_;
    QTextStream out_{stdout};
};

// The request from the options (parser takes them, --folder among them), or nothing after a usage message.
std::optional<discovery::ConsoleRequest> requestFrom(QCommandLineParser &parser, const QStringList &args) {
    const QCommandLineOption op(QStringLiteral("op"), QString(), QStringLiteral("OPERATION"), QStringLiteral("get"));
    const QCommandLineOption oids(QStringLiteral("oids"), QString(), QStringLiteral("LIST"), DefaultOids);
    const QCommandLineOption value(QStringLiteral("value"), QString(), QStringLiteral("V"));
    const QCommandLineOption integer(QStringLiteral("integer"));
    const QCommandLineOption fullWalk(QStringLiteral("full-walk"));
    parser.addOptions({op, oids, value, integer, fullWalk, folderOption()});
    if (!parseArguments(parser, QStringLiteral("scan"), args)) return std::nullopt;
    const QStringList range = parser.positionalArguments();
    const QStringList operations{QStringLiteral("get"), QStringLiteral("getnext"), QStringLiteral("set"),
                                 QStringLiteral("walk")};
    const qsizetype operation = operations.indexOf(parser.value(op));
    QString usage;
    if (range.size() != 2)
        usage = QStringLiteral("scan takes FIRST LAST, the first and last address of the range");
    else if (operation < 0)
        usage = QStringLiteral("--op takes get, getnext, set or walk");
    else if ((parser.isSet(value) || parser.isSet(integer)) && operation != 2)
        usage = QStringLiteral("--value and --integer go with --op set");
    else if (parser.isSet(fullWalk) && operation != 3)
        usage = QStringLiteral("--full-walk goes with --op walk");
    if (!usage.isEmpty()) {
        usageError(usage);
        return std::nullopt;
    }

    discovery::ConsoleRequest request;
    request.firstAddress = range[0];
    request.lastAddress = range[1];
    request.oids = parser.value(oids);
    request.setValue = parser.value(value);
    request.operation = static_cast<discovery::ConsoleOperation>(operation);
    request.setInteger = parser.isSet(integer);
    request.fullWalk = parser.isSet(fullWalk);
    return request;
}

} // namespace

int scanCommand(const QStringList &args) {
    QCommandLineParser parser;
    const std::optional<discovery::ConsoleRequest> request = requestFrom(parser, args);
    if (!request) return ExitUsage;
    if (!useProgramFolder(parser)) return ExitFailed;

    TerminalConsole view;
    discovery::Console console(view);
    interrupted = 0;
    std::signal(SIGINT, interrupt);
    platform::setEventPump([&console] {
        if (interrupted) console.abort();
    });
    const bool completed = console.run(*request);
    platform::setEventPump(nullptr);
    std::signal(SIGINT, SIG_DFL);
    if (!console.faultDescription().isEmpty())
        QTextStream(stderr) << "meterlane-cli: " << console.faultDescription() << "\n";
    return completed && !view.failed() ? ExitOk : ExitFailed;
}

} // namespace cli
