// meterlane-cli history and usage: what the history store (history.sqlite) keeps of the site, headless. history: a
// printer's readings, supply levels and conditions in time order; usage: the pages of each printer per day, week or
// month, with a total per period. Plain lines, CSV (RFC 4180) or one JSON object per line. The store is opened
// read-only, so that a cycle may write it meanwhile, and nothing stored changes.
#include "commands.h"

#include "reading/conditions.h"
#include "reading/printermib.h"
#include "store/conditionstate.h"
#include "store/globals.h"
#include "store/history.h"
#include "store/log.h"
#include "store/usage.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTextStream>

#include <algorithm>
#include <memory>
#include <optional>

namespace cli {
namespace {

enum class Format { Text, Csv, Json };

const QCommandLineOption &csvOption() {
    static const QCommandLineOption csv(QStringLiteral("csv"));
    return csv;
}

const QCommandLineOption &jsonOption() {
    static const QCommandLineOption json(QStringLiteral("json"));
    return json;
}

const QCommandLineOption &sinceOption() {
    static const QCommandLineOption since(QStringLiteral("since"), QString(), QStringLiteral("DATE"));
    return since;
}

std::optional<Format> formatOf(const QCommandLineParser &parser) {
    if (parser.isSet(csvOption()) && parser.isSet(jsonOption())) {
        usageError(QStringLiteral("--csv and --json exclude each other"));
        return std::nullopt;
    }
    return parser.isSet(csvOption()) ? Format::Csv : parser.isSet(jsonOption()) ? Format::Json : Format::Text;
}

// A DATE as given: YYYY-MM-DD is a local day, from its start to its last moment; an ISO 8601 date and time (local
// where it names no offset) is that moment. day: the date as the periods of usage count days (UTC).
struct Date {
    QDateTime first, last;
    QDate day;
};

std::optional<Date> dateOf(const QString &text) {
    static const QRegularExpression dayOnly(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    if (dayOnly.match(text).hasMatch()) {
        const QDate day = QDate::fromString(text, Qt::ISODate);
        if (day.isValid()) return Date{day.startOfDay(), day.endOfDay(), day};
        return std::nullopt;
    }
    const QDateTime time = QDateTime::fromString(text, Qt::ISODate);
    if (time.isValid()) return Date{time, time, time.toUTC().date()};
    return std::nullopt;
}

// The option's date (none where it is not given); false after a usage message.
bool dateOption(const QCommandLineParser &parser, const QCommandLineOption &option, Date *date) {
    if (!parser.isSet(option)) return true;
    const auto parsed = dateOf(parser.value(option));
    if (!parsed) {
        usageError(QStringLiteral("--%1 takes YYYY-MM-DD or an ISO 8601 date and time, not \"%2\"")
                       .arg(option.names().constFirst(), parser.value(option)));
        return false;
    }
    *date = *parsed;
    return true;
}

// The program folder's store opened read-only: nothing, after saying why, while StandardPrinterMib is 0 (nothing is
// kept then), where there is no store yet, and where it cannot be read.
std::unique_ptr<store::History> openHistory(const QCommandLineParser &parser) {
    if (!useProgramFolder(parser)) return nullptr;
    if (!reading::printermib::enabled()) {
        QTextStream(stderr) << "meterlane-cli: no history is kept while StandardPrinterMib is 0 in "
                            << store::globals().iniFile << "\n";
        return nullptr;
    }
    return readHistory(/*sayMissing*/ true);
}

QString jsonLine(const QJsonObject &object) {
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) + u'\n';
}

// A CSV field as RFC 4180 quotes it: in double quotes, its own doubled, where it holds a comma, a quote or a line end.
// Every number here is a whole one (counters, percents, indexes): written in full, never in exponent form.
QString csvField(const QJsonValue &value) {
    QString text = value.isBool()     ? QString::fromLatin1(value.toBool() ? "true" : "false")
                   : value.isDouble() ? QString::number(value.toInteger())
                                      : value.toString(); // null and undefined: empty
    static const QRegularExpression special(QStringLiteral("[,\"\r\n]"));
    if (!text.contains(special)) return text;
    return u'"' + text.replace(u'"', QStringLiteral("\"\"")) + u'"';
}

QString csvLine(const QStringList &fields) { return fields.join(u',') + QStringLiteral("\r\n"); }

QJsonValue timeJson(const QDateTime &time) {
    return time.isValid() ? QJsonValue(time.toUTC().toString(Qt::ISODate)) : QJsonValue();
}

// --- history -------------------------------------------------------------------------------------------------------

// The mapped slots of a reading, as the JSON and CSV name them and the plain line says them.
const struct Slot {
    const char *key, *words;
    qint64 store::ReadingEntry::*count;
} Slots[] = {
    {"printBlackAndWhite", "print black-and-white", &store::ReadingEntry::printBlackAndWhite},
    {"printColour", "print colour", &store::ReadingEntry::printColour},
    {"copyBlackAndWhite", "copy black-and-white", &store::ReadingEntry::copyBlackAndWhite},
    {"copyColour", "copy colour", &store::ReadingEntry::copyColour},
    {"fax", "fax", &store::ReadingEntry::fax},
    {"large", "large", &store::ReadingEntry::large},
    {"duplex", "duplex", &store::ReadingEntry::duplex},
};

// One row of a printer's history: its JSON object (with time and kind) and its plain line after the time.
struct Row {
    QDateTime time;
    QJsonObject fields;
    QString text;
};

Row rowOf(const store::ReadingEntry &reading) {
    QJsonObject fields{{QStringLiteral("kind"), QStringLiteral("reading")},
                       {QStringLiteral("identity"), textOrNull(reading.identity)},
                       {QStringLiteral("model"), textOrNull(reading.model)},
                       {QStringLiteral("blackAndWhite"), reading.blackAndWhite},
                       {QStringLiteral("colour"), reading.colour},
                       {QStringLiteral("upload"), store::uploadName(reading.upload)}};
    QString text = QStringLiteral("reading");
    if (!reading.identity.isEmpty()) text += u' ' + store::oneLine(reading.identity);
    if (!reading.model.isEmpty()) text += QStringLiteral(" \"%1\"").arg(store::oneLine(reading.model));
    text += QStringLiteral(": %1 black-and-white, %2 colour").arg(reading.blackAndWhite).arg(reading.colour);
    for (const Slot &slot : Slots) {
        const qint64 count = reading.*slot.count;
        if (count < 0) continue;
        fields.insert(QLatin1String(slot.key), count);
        text += QStringLiteral(", %1 %2").arg(QLatin1String(slot.words)).arg(count);
    }
    text += QStringLiteral(", upload ") + store::uploadName(reading.upload);
    return {reading.time, fields, text};
}

Row rowOf(const store::SupplyEntry &supply) {
    const QJsonObject fields{
        {QStringLiteral("kind"), QStringLiteral("supply")},
        {QStringLiteral("index"), supply.index},
        {QStringLiteral("supplyKind"), supply.kind},
        {QStringLiteral("class"), supply.receptacle ? QStringLiteral("receptacle") : QStringLiteral("consumed")},
        {QStringLiteral("colour"), textOrNull(supply.colour)},
        {QStringLiteral("percent"), supply.percent ? QJsonValue(*supply.percent) : QJsonValue()},
        {QStringLiteral("state"), supply.state},
        {QStringLiteral("description"), supply.description},
        {QStringLiteral("partNumber"), textOrNull(supply.partNumber)}};
    QString text = QStringLiteral("supply %1 %2").arg(supply.index).arg(store::oneLine(supply.kind));
    if (!supply.colour.isEmpty()) text += u' ' + store::oneLine(supply.colour);
    text += QStringLiteral(": ");
    if (supply.percent)
        text += QStringLiteral("%1 % %2").arg(*supply.percent).arg(supply.receptacle ? u"full" : u"left") +
                (supply.state == QLatin1String("ok") ? QString() : QStringLiteral(" (") + supply.state + u')');
    else
        text += supply.state;
    if (!supply.description.isEmpty()) text += QStringLiteral(", \"%1\"").arg(store::oneLine(supply.description));
    if (!supply.partNumber.isEmpty()) text += QStringLiteral(", part ") + store::oneLine(supply.partNumber);
    return {supply.time, fields, text};
}

Row rowOf(const store::ConditionEntry &condition) {
    const QString severity = reading::conditions::severityName(reading::conditions::Severity(condition.severity));
    const QJsonObject fields{{QStringLiteral("kind"), QStringLiteral("condition")},
                             {QStringLiteral("conditionKind"), condition.kind},
                             {QStringLiteral("severity"), severity},
                             {QStringLiteral("text"), condition.text},
                             {QStringLiteral("raised"), timeJson(condition.raised)},
                             {QStringLiteral("cleared"), timeJson(condition.cleared)}};
    const QString cleared = condition.cleared.isValid()
                                ? QStringLiteral("cleared ") + store::shownTime(condition.cleared)
                                : QStringLiteral("not cleared");
    const QString text = QStringLiteral("condition %1 %2: %3, %4")
                             .arg(severity, condition.kind, store::oneLine(condition.text), cleared);
    return {condition.raised, fields, text};
}

// The columns of history --csv: each takes the field of its key from the rows of its kind (every kind: null).
const struct Column {
    const char *name, *kind, *key;
} HistoryColumns[] = {
    {"time", nullptr, "time"},
    {"kind", nullptr, "kind"},
    {"identity", "reading", "identity"},
    {"model", "reading", "model"},
    {"blackAndWhite", "reading", "blackAndWhite"},
    {"colour", "reading", "colour"},
    {"printBlackAndWhite", "reading", "printBlackAndWhite"},
    {"printColour", "reading", "printColour"},
    {"copyBlackAndWhite", "reading", "copyBlackAndWhite"},
    {"copyColour", "reading", "copyColour"},
    {"fax", "reading", "fax"},
    {"large", "reading", "large"},
    {"duplex", "reading", "duplex"},
    {"upload", "reading", "upload"},
    {"index", "supply", "index"},
    {"supplyKind", "supply", "supplyKind"},
    {"class", "supply", "class"},
    {"supplyColour", "supply", "colour"},
    {"percent", "supply", "percent"},
    {"state", "supply", "state"},
    {"description", "supply", "description"},
    {"partNumber", "supply", "partNumber"},
    {"conditionKind", "condition", "conditionKind"},
    {"severity", "condition", "severity"},
    {"text", "condition", "text"},
    {"raised", "condition", "raised"},
    {"cleared", "condition", "cleared"},
};

QString historyCsvHeader() {
    QStringList names;
    for (const Column &column : HistoryColumns) names << QLatin1String(column.name);
    return csvLine(names);
}

QString historyCsvLine(const QJsonObject &fields) {
    QStringList values;
    for (const Column &column : HistoryColumns) {
        const bool ofKind = !column.kind || fields[QStringLiteral("kind")].toString() == QLatin1String(column.kind);
        values << (ofKind ? csvField(fields[QLatin1String(column.key)]) : QString());
    }
    return csvLine(values);
}

// The host's rows from since to until, in time order: at one time a reading first, then supplies, then conditions.
QList<Row> historyRows(const store::History &history, const QString &host, const QDateTime &since,
                       const QDateTime &until) {
    QList<Row> rows;
    for (const store::ReadingEntry &reading : history.readings(host, since, until)) rows << rowOf(reading);
    for (const store::SupplyEntry &supply : history.supplies(host, since, until)) rows << rowOf(supply);
    for (const store::ConditionEntry &condition : history.conditions(host, since, until)) rows << rowOf(condition);
    std::stable_sort(rows.begin(), rows.end(), [](const Row &a, const Row &b) { return a.time < b.time; });
    for (Row &row : rows) row.fields.insert(QStringLiteral("time"), timeJson(row.time));
    return rows;
}

// --- usage ---------------------------------------------------------------------------------------------------------

std::optional<store::Period> periodOf(const QString &name) {
    if (name == QLatin1String("day")) return store::Period::Day;
    if (name == QLatin1String("week")) return store::Period::Week;
    if (name == QLatin1String("month")) return store::Period::Month;
    return std::nullopt;
}

// The rows of every host, period after period, each period's hosts in the order given and then its total (no host).
QList<store::Usage> usageWithTotals(const store::History &history, const QStringList &hosts, store::Period by,
                                    const QDate &since) {
    QList<store::Usage> perHost;
    for (const QString &host : hosts) perHost += store::usageOf(history.readings(host), by, since);
    std::stable_sort(perHost.begin(), perHost.end(),
                     [](const store::Usage &a, const store::Usage &b) { return a.start < b.start; });
    QList<store::Usage> rows;
    for (auto row = perHost.cbegin(); row != perHost.cend();) {
        store::Usage total;
        total.start = row->start;
        total.period = row->period;
        total.complete = true;
        for (; row != perHost.cend() && row->start == total.start; ++row) {
            rows << *row;
            total.blackAndWhite += row->blackAndWhite;
            total.colour += row->colour;
            total.complete = total.complete && row->complete;
        }
        rows << total;
    }
    return rows;
}

QString usageText(const store::Usage &usage) {
    return QStringLiteral("%1 %2: %3 black-and-white, %4 colour%5\n")
        .arg(usage.period, usage.host.isEmpty() ? QStringLiteral("total") : store::oneLine(usage.host),
             QString::number(usage.blackAndWhite), QString::number(usage.colour),
             usage.complete ? QString() : QStringLiteral(", estimated"));
}

QJsonObject usageJson(const store::Usage &usage) {
    return {{QStringLiteral("host"), textOrNull(usage.host)},
            {QStringLiteral("period"), usage.period},
            {QStringLiteral("blackAndWhite"), usage.blackAndWhite},
            {QStringLiteral("colour"), usage.colour},
            {QStringLiteral("complete"), usage.complete}};
}

const char *const UsageColumns[] = {"host", "period", "blackAndWhite", "colour", "complete"};

QString usageCsvHeader() {
    QStringList names;
    for (const char *name : UsageColumns) names << QLatin1String(name);
    return csvLine(names);
}

// The total's host is empty, as null in JSON.
QString usageCsvLine(const store::Usage &usage) {
    const QJsonObject fields = usageJson(usage);
    QStringList values;
    for (const char *key : UsageColumns) values << csvField(fields[QLatin1String(key)]);
    return csvLine(values);
}

} // namespace

int historyCommand(const QStringList &args) {
    QCommandLineParser parser;
    const QCommandLineOption untilOption(QStringLiteral("until"), QString(), QStringLiteral("DATE"));
    parser.addOptions({sinceOption(), untilOption, csvOption(), jsonOption(), folderOption()});
    if (!parseArguments(parser, QStringLiteral("history"), args)) return ExitUsage;
    const auto format = formatOf(parser);
    if (!format) return ExitUsage;
    if (parser.positionalArguments().size() != 1)
        return usageError(QStringLiteral("history takes one HOST [--since DATE] [--until DATE] [--csv|--json]"));
    Date since, until;
    if (!dateOption(parser, sinceOption(), &since) || !dateOption(parser, untilOption, &until)) return ExitUsage;
    const auto history = openHistory(parser);
    if (!history) return ExitFailed;
    const QString host = parser.positionalArguments().constFirst();
    if (!history->hosts().contains(host)) QTextStream(stderr) << "meterlane-cli: no reading of " << host << " kept\n";
    QTextStream out(stdout);
    if (*format == Format::Csv) out << historyCsvHeader();
    for (const Row &row : historyRows(*history, host, since.first, until.last)) {
        switch (*format) {
        case Format::Text: out << store::shownTime(row.time) << u' ' << row.text << u'\n'; break;
        case Format::Csv: out << historyCsvLine(row.fields); break;
        case Format::Json: out << jsonLine(row.fields); break;
        }
    }
    return ExitOk;
}

int usageCommand(const QStringList &args) {
    QCommandLineParser parser;
    const QCommandLineOption by(QStringLiteral("by"), QString(), QStringLiteral("PERIOD"), QStringLiteral("month"));
    parser.addOptions({by, sinceOption(), csvOption(), jsonOption(), folderOption()});
    if (!parseArguments(parser, QStringLiteral("usage"), args)) return ExitUsage;
    const auto format = formatOf(parser);
    if (!format) return ExitUsage;
    const auto period = periodOf(parser.value(by));
    if (!period) return usageError(QStringLiteral("--by takes day, week or month, not \"%1\"").arg(parser.value(by)));
    Date since;
    if (!dateOption(parser, sinceOption(), &since)) return ExitUsage;
    const auto history = openHistory(parser);
    if (!history) return ExitFailed;
    const QStringList kept = history->hosts();
    QStringList hosts = parser.positionalArguments();
    for (const QString &host : hosts)
        if (!kept.contains(host)) QTextStream(stderr) << "meterlane-cli: no reading of " << host << " kept\n";
    if (hosts.isEmpty()) hosts = kept;
    QTextStream out(stdout);
    if (*format == Format::Csv) out << usageCsvHeader();
    for (const store::Usage &usage : usageWithTotals(*history, hosts, *period, since.day)) {
        switch (*format) {
        case Format::Text: out << usageText(usage); break;
        case Format::Csv: out << usageCsvLine(usage); break;
        case Format::Json: out << jsonLine(usageJson(usage)); break;
        }
    }
    return ExitOk;
}

} // namespace cli
