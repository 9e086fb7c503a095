// meterlane-cli status: printers' condition, headless. With hosts it reads each now (status objects, the whole alert
// table, the panel lines, the supplies' levels) and shows the signals and the conditions they give; without, the
// conditions remembered for every monitored printer. Plain lines, or one JSON object per printer and line. Nothing of the remembered condition
// changes: a read here is none of the reads that raise and clear conditions.
#include "commands.h"

#include "platform/hostresolution.h"
#include "reading/conditions.h"
#include "reading/supplyread.h"
#include "store/conditionstate.h"
#include "store/globals.h"
#include "store/log.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

#include <optional>

namespace cli {
namespace {

using namespace reading::conditions;

// One printer as status shows it: the signals (read now, or as remembered) and its conditions.
struct Report {
    QString host;
    QString state; // the text form's words after the host: "answers", "not answering since ...", ...
    bool answered = false;
    int deviceStatus = 0, printerStatus = 0; // 0: not read
    QStringList errorBits;
    QList<AlertRow> alerts;
    QStringList panel;
    struct Shown {
        QString kind;
        int severity = 0;
        QString text;
        QDateTime since; // invalid: not remembered
    };
    QList<Shown> conditions;
};

// The standard's name of a value, or its number where the standard names none.
QString nameOr(const QString &name, int value) { return name.isEmpty() ? QString::number(value) : name; }

QString statusWords(const Report &report) {
    QStringList words;
    if (report.deviceStatus)
        words << QStringLiteral("device ") + nameOr(deviceStatusName(report.deviceStatus), report.deviceStatus);
    if (report.printerStatus)
        words << QStringLiteral("printer ") + nameOr(printerStatusName(report.printerStatus), report.printerStatus);
    return words.isEmpty() ? QString() : QStringLiteral(", ") + words.join(QStringLiteral(", "));
}

// "alert 7: critical (untrained), input 2, location 5, code 8 jam: Paper jam in tray 2"
QString alertLine(const AlertRow &row) {
    const QString code =
        QString::number(row.code) + (alertCodeName(row.code).isEmpty() ? QString() : u' ' + alertCodeName(row.code));
    return QStringLiteral("alert %1: %2 (%3), %4 %5, location %6, code %7: %8")
        .arg(row.index, nameOr(alertSeverityName(row.severity), row.severity),
             nameOr(trainingLevelName(row.training), row.training), nameOr(alertGroupName(row.group), row.group))
        .arg(row.groupIndex)
        .arg(row.location)
        .arg(code, store::oneLine(row.description));
}

QString textOf(const Report &report) {
    QString text = report.host + QStringLiteral(": ") + report.state + statusWords(report) + u'\n';
    if (!report.errorBits.isEmpty()) text += QStringLiteral("  error bits: ") + report.errorBits.join(u' ') + u'\n';
    for (const AlertRow &row : report.alerts) text += QStringLiteral("  ") + alertLine(row) + u'\n';
    for (const QString &line : report.panel) text += QStringLiteral("  panel: ") + store::oneLine(line) + u'\n';
    for (const Report::Shown &shown : report.conditions) {
        const QString since = shown.since.isValid() ? QStringLiteral(" since ") + store::shownTime(shown.since) : QString();
        text += QStringLiteral("  %1%2: %3\n").arg(severityName(Severity(shown.severity)), since, shown.text);
    }
    if (report.answered && report.conditions.isEmpty()) text += QStringLiteral("  no condition\n");
    return text;
}

QJsonValue statusJson(const QString &name, int value) {
    return value ? QJsonValue(nameOr(name, value)) : QJsonValue(QJsonValue::Null);
}

QString jsonOf(const Report &report) {
    QJsonArray alerts, conditions;
    for (const AlertRow &row : report.alerts) {
        const QString codeName = alertCodeName(row.code);
        alerts.append(
            QJsonObject{{QStringLiteral("severity"), nameOr(alertSeverityName(row.severity), row.severity)},
                        {QStringLiteral("training"), nameOr(trainingLevelName(row.training), row.training)},
                        {QStringLiteral("group"), nameOr(alertGroupName(row.group), row.group)},
                        {QStringLiteral("groupIndex"), row.groupIndex},
                        {QStringLiteral("location"), row.location},
                        {QStringLiteral("code"), row.code},
                        {QStringLiteral("codeName"), codeName.isEmpty() ? QJsonValue() : QJsonValue(codeName)},
                        {QStringLiteral("description"), row.description}});
    }
    for (const Report::Shown &shown : report.conditions)
        conditions.append(QJsonObject{
            {QStringLiteral("kind"), shown.kind},
            {QStringLiteral("severity"), severityName(Severity(shown.severity))},
            {QStringLiteral("text"), shown.text},
            {QStringLiteral("since"),
             shown.since.isValid() ? QJsonValue(shown.since.toUTC().toString(Qt::ISODate)) : QJsonValue()}});
    const QJsonObject object{
        {QStringLiteral("host"), report.host},
        {QStringLiteral("answered"), report.answered},
        {QStringLiteral("deviceStatus"), statusJson(deviceStatusName(report.deviceStatus), report.deviceStatus)},
        {QStringLiteral("printerStatus"), statusJson(printerStatusName(report.printerStatus), report.printerStatus)},
        {QStringLiteral("errorBits"), QJsonArray::fromStringList(report.errorBits)},
        {QStringLiteral("alerts"), alerts},
        {QStringLiteral("panel"), QJsonArray::fromStringList(report.panel)},
        {QStringLiteral("conditions"), conditions}};
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) + u'\n';
}

// The host read now: the signals and the conditions as readConditionNow gives them.
Report readNow(const QString &host) {
    Report report;
    report.host = host;
    report.state = QStringLiteral("not answering");
    const QString address = platform::ResolveHost(host);
    if (address.isEmpty()) {
        QTextStream(stderr) << "meterlane-cli: cannot resolve " << host << "\n";
        return report;
    }
    const reading::ConditionNow now = reading::readConditionNow(host, address);
    const Signals &read = now.observed;
    if (!read.answered) return report;
    report.state = QStringLiteral("answers");
    report.answered = true;
    report.deviceStatus = read.deviceStatus;
    report.printerStatus = read.printerStatus;
    report.errorBits = errorBitNames(read.errorState.value_or(QByteArray()));
    report.alerts = read.alerts;
    report.panel = read.panel;
    for (const auto &[condition, since] : now.conditions)
        report.conditions.append({condition.kind, int(condition.severity), condition.text, since});
    return report;
}

// The host's condition as remembered: its raised conditions, from its last answer.
Report remembered(const QString &host, const store::ConditionStates &states) {
    Report report;
    report.host = host;
    report.state = QStringLiteral("no condition remembered");
    const auto found = states.printers().constFind(host);
    if (found == states.printers().cend()) return report;
    const store::PrinterCondition &printer = *found;
    report.answered = printer.lastAnswer.isValid() && !printer.silentSince.isValid();
    if (printer.silentSince.isValid())
        report.state = QStringLiteral("not answering since ") + store::shownTime(printer.silentSince);
    else if (printer.lastAnswer.isValid())
        report.state = QStringLiteral("answered ") + store::shownTime(printer.lastAnswer);
    report.deviceStatus = printer.deviceStatus;
    report.printerStatus = printer.printerStatus;
    report.panel = printer.panel;
    for (const store::TrackedCondition &tracked : printer.raised())
        report.conditions.append({tracked.seen.kind, tracked.seen.severity, tracked.seen.text, tracked.since});
    return report;
}

} // namespace

int statusCommand(const QStringList &args) {
    std::optional<store::ConditionStates> states;
    return eachPrinter(QStringLiteral("status"), args, QStringLiteral("conditions are"),
                       [&](const QString &host, bool named, bool json, QTextStream &out) {
                           if (!named && !states) states.emplace(store::globals().programFolder);
                           const Report report = named ? readNow(host) : remembered(host, *states);
                           out << (json ? jsonOf(report) : textOf(report));
                           return report.answered;
                       });
}

} // namespace cli
