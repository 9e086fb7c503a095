#include "console.h"

#include "pingbase.h"
#include "snmpwalk.h"
#include "platform/componentfactory.h"
#include "platform/eventpump.h"
#include "platform/fault.h"
#include "store/globals.h"

#include <QFile>
#include <QRegularExpression>

#include <cmath>
#include <limits>

namespace discovery {
namespace {

const QString EndOfAddress(59, u'-');
constexpr int AnsweredIcon = 1, SilentIcon = 2, ChangedIcon = 3;

platform::Fault typeMismatch() { return platform::Fault(13, QStringLiteral("Type mismatch")); }
platform::Fault overflow() { return platform::Fault(6, QStringLiteral("Overflow")); }

int hostNumber(const QString &part) {
    static const QRegularExpression whole(QStringLiteral("^[ \\t]*[+-]?[0-9]+[ \\t]*$"));
    if (!whole.match(part).hasMatch()) throw typeMismatch();
    bool fits = false;
    const int number = part.trimmed().toInt(&fits);
    if (!fits || number < std::numeric_limits<qint16>::min() || number > std::numeric_limits<qint16>::max())
        throw overflow();
    return number;
}

// The network part of first followed by every host number from first's fourth part to last's.
QStringList addressRange(const QString &first, const QString &last) {
    const QStringList from = first.split(u'.');
    const QStringList to = last.split(u'.');
    if (from.size() < 4 || to.size() < 4) throw platform::Fault(9, QStringLiteral("Subscript out of range"));
    const int low = hostNumber(from[3]);
    const int high = hostNumber(to[3]);
    const QString network = QStringLiteral("%1.%2.%3.").arg(from[0], from[1], from[2]);
    QStringList addresses;
    for (int host = low; host <= high; ++host) addresses.append(network + QString::number(host));
    return addresses;
}

// Appends the lines to the results file, each ended by CR LF; false when the file cannot take them.
bool appendToResultsFile(const QStringList &lines) {
    QFile file(Console::resultsFile());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) return false;
    QByteArray bytes;
    for (const QString &line : lines) bytes += line.toUtf8() + "\r\n";
    return file.write(bytes) == bytes.size() && file.flush();
}

QString setLine(platform::ComponentObject &session, const QString &oid, const ConsoleRequest &request) {
    if (!request.setInteger) {
        const QString reply = session.call(QStringLiteral("SnmpSet"), {oid, request.setValue, 0}).toString();
        return QStringLiteral("-%1 : %2").arg(oid, reply);
    }
    const std::optional<qint32> value = integerSetValue(request.setValue);
    if (!value) return QStringLiteral("- %1 does not appear to be an integer").arg(oid);
    const QString reply = session.call(QStringLiteral("SnmpSet"), {oid, *value, 1}).toString();
    return QStringLiteral("- %1 : %2").arg(oid, reply);
}

void operate(platform::ComponentObject &session, QString oid, const ConsoleRequest &request, ConsoleView &view) {
    switch (request.operation) {
    case ConsoleOperation::Get: {
        platform::pumpEvents();
        const QString reply = session.call(QStringLiteral("SnmpGet"), {oid}).toString();
        view.addResult(QStringLiteral("- %1 : %2").arg(oid, reply));
        break;
    }
    case ConsoleOperation::GetNext: {
        QList<platform::ComponentArgument> args{{oid, true}};
        const QString reply = session.call(QStringLiteral("SnmpGetNext"), args).toString();
        view.addResult(QStringLiteral("-  %1 : %2").arg(args[0].value.toString(), reply));
        break;
    }
    case ConsoleOperation::Set: view.addResult(setLine(session, oid, request)); break;
    case ConsoleOperation::Walk:
        walkOid(session, oid, request.fullWalk, [&view](const QString &line) { view.addResult(line); });
        break;
    }
}

// A new session for one OID of one address: opened, the operation made when the open succeeded, closed.
void operateOnOid(const QString &address, const QString &oid, const ConsoleRequest &request, ConsoleView &view) {
    platform::ComponentObject session = platform::CreateObject(QStringLiteral("quorrel.SnmpV1"));
    session.set(QStringLiteral("Agent"), address);
    session.set(QStringLiteral("CommStr"), QStringLiteral("public"));
    session.set(QStringLiteral("TimeOut"), 500);
    session.set(QStringLiteral("Retry"), 3);
    if (session.call(QStringLiteral("SnmpMgrOpen")).toString() == QLatin1String("Successful"))
        operate(session, oid, request, view);
    session.call(QStringLiteral("SnmpMgrClose"));
}

} // namespace

std::optional<qint32> integerSetValue(const QString &text) {
    static const QRegularExpression number(
        QStringLiteral("^[ \\t]*[+-]?([0-9]+(\\.[0-9]*)?|\\.[0-9]+)([eE][+-]?[0-9]+)?[ \\t]*$"));
    if (!number.match(text).hasMatch()) return std::nullopt;
    const double rounded = std::nearbyint(text.trimmed().toDouble()); // the default rounding: halves to even
    if (!(rounded >= std::numeric_limits<qint32>::min() && rounded <= std::numeric_limits<qint32>::max()))
        throw overflow();
    return static_cast<qint32>(rounded);
}

QString Console::resultsFile() { return store::globals().programFolder + QStringLiteral("/zovdata.txt"); }

bool Console::run(const ConsoleRequest &request) {
    if (running_) return false;
    running_ = true;
    abortRequested_ = false;
    fault_.clear();
    view_.setRunning(true);
    view_.clearAddresses();
    try {
        rows_.clear();
        for (const QString &address : addressRange(request.firstAddress, request.lastAddress)) {
            rows_.push_back({address, false});
            view_.addAddress(address);
        }
        pingPhase();
        snmpPhase(request);
    } catch (const platform::Fault &fault) {
        fault_ = fault.description;
    }
    const bool completed = writeResults() && fault_.isEmpty();
    view_.setRunning(false);
    running_ = false;
    if (completed) view_.showCompletion(QStringLiteral("Complete ... file at: ") + resultsFile());
    return completed;
}

// The lines of the result list, after a fault followed by its description, appended to the results file.
bool Console::writeResults() {
    QStringList lines = view_.results();
    if (!fault_.isEmpty()) lines.append(fault_);
    if (appendToResultsFile(lines)) return true;
    view_.showFailure(QStringLiteral("Cannot write ") + resultsFile());
    return false;
}

void Console::pingPhase() {
    QStringList addresses;
    for (const Row &row : rows_) addresses.append(row.address);
    addresses.append(QString()); // the pinger never uses its last element
    ClassPingBase pinger;
    pinger.setNumParalellActions(ConsolePingWidth);
    QObject::connect(&pinger, &ClassPingBase::PingSuccess,
                     [this](const QString &, int time, int index) { report(index, true, QString::number(time)); });
    QObject::connect(&pinger, &ClassPingBase::PingFail,
                     [this](const QString &, int, int index) { report(index, false, SilentTime); });
    const int count = static_cast<int>(rows_.size());
    pinger.PingHostList(addresses, ConsolePingTimeOutMs, count * ConsolePingMsPerAddress);
    platform::pumpEvents();
    scanned_ = true;
    if (!pinger.lastError().isEmpty()) view_.showFailure(pinger.lastError());
    previousScan_.clear();
    for (const Row &row : rows_) previousScan_.insert(row.address, row.answered);
}

void Console::report(int row, bool answered, const QString &timeText) {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return;
    rows_[row].answered = answered;
    const auto previous = previousScan_.constFind(rows_[row].address);
    const bool changed = previous != previousScan_.constEnd() && *previous != answered;
    view_.showPingResult(row, timeText, changed ? ChangedIcon : answered ? AnsweredIcon : SilentIcon);
}

void Console::snmpPhase(const ConsoleRequest &request) {
    view_.clearResults();
    const QStringList oids = request.oids.isEmpty() ? QStringList() : request.oids.split(u';');
    for (const Row &row : rows_) {
        if (row.answered)
            workOn(row.address, oids, request);
        else
            view_.showCurrentAddress(QString(), false);
        platform::pumpEvents();
        if (abortRequested_) break;
    }
}

void Console::workOn(const QString &address, const QStringList &oids, const ConsoleRequest &request) {
    view_.showCurrentAddress(address, true);
    view_.addResult(QStringLiteral("> ") + address);
    for (const QString &oid : oids) operateOnOid(address, oid, request, view_);
    view_.addResult(EndOfAddress);
}

} // namespace discovery
