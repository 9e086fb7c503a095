#include "alerting.h"

#include "alerts/alertoutbox.h"
#include "alerts/channel.h"
#include "outbox.h"
#include "reading/printermib.h"
#include "reading/supplies.h"
#include "store/alertsettings.h"
#include "store/config.h"
#include "store/globals.h"
#include "store/history.h"
#include "store/pips.h"
#include "store/usage.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QSysInfo>

namespace upload {
namespace {

using alerts::ConditionEvent;
using alerts::PrinterNames;

PrinterNames namesOf(const store::MonitoredPrinter &printer, const store::PrinterCondition &state) {
    return {printer.host, state.address.isEmpty() ? printer.host : state.address, state.model, printer.identity,
            printer.description};
}

ConditionEvent eventOf(const PrinterNames &printer, const store::PrinterCondition &state,
                       const store::SeenCondition &seen, const QDateTime &since, bool raised, const QDateTime &at) {
    return {printer, raised, seen.kind, seen.unit, seen.text, seen.severity, since, raised ? QDateTime() : at,
            raised ? state.panel : QStringList()};
}

alerts::WaitingMessage messageFor(const alerts::Channel &channel, const alerts::Content &content,
                                  const QDateTime &now) {
    const QString id = alerts::newMessageId();
    return {id, channel.name, content.type, alerts::subjectOf(content), now, channel.write(id, now, content), 0, {},
            QDateTime::currentDateTimeUtc()};
}

// Where a supply's state says it is at or past its threshold.
bool atThreshold(const QString &state) {
    using namespace reading::supplies;
    return state == Low || state == Empty || state == NearlyFull || state == Full;
}

QString supplyName(const store::SupplyEntry &supply) {
    const QString name = (supply.colour + u' ' + supply.kind).trimmed();
    return name.isEmpty() ? supply.description : name;
}

// The printer's supplies at or past their threshold by their newest stored level, with their days left.
QList<alerts::LowSupply> lowSupplies(const store::History &history, const PrinterNames &printer, const QDateTime &now) {
    const QList<store::SupplyEntry> levels = history.supplies(printer.host, now.addDays(-store::RawDays), now);
    QMap<int, store::SupplyEntry> newest;
    for (const store::SupplyEntry &level : levels) newest[level.index] = level;
    const QMap<int, std::optional<int>> days = store::daysLeftBySupply(levels, now);
    QList<alerts::LowSupply> low;
    for (const store::SupplyEntry &supply : newest)
        if (atThreshold(supply.state))
            low.append({printer, supplyName(supply), supply.percent, supply.state, supply.receptacle,
                        days.value(supply.index)});
    return low;
}

} // namespace

alerts::Site thisSite() {
    const store::Globals &values = store::globals();
    QString customer = store::ReadIniValue(values.iniFile, QStringLiteral("Vendor"), QStringLiteral("CID"));
    if (customer.isEmpty()) customer = store::vendorFileValue(QStringLiteral("CID"));
    return {customer, QSysInfo::machineHostName()};
}

void alertConditionChanges(const QList<store::ConditionChange> &changes, const store::ConditionStates &states) {
    if (changes.isEmpty() || !reading::printermib::enabled()) return;
    const alerts::Channels known = alerts::channels();
    if (known.channels.isEmpty()) return;
    QHash<QString, store::MonitoredPrinter> printers;
    for (const store::MonitoredPrinter &printer : store::monitoredPrinters()) printers.insert(printer.host, printer);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QList<ConditionEvent> events;
    for (const store::ConditionChange &change : changes) {
        const store::PrinterCondition state = states.printers().value(change.host);
        const store::MonitoredPrinter listed = printers.value(change.host, {change.host, {}, {}});
        events << eventOf(namesOf(listed, state), state, change.condition, change.since, change.raised, now);
    }
    QList<alerts::WaitingMessage> messages;
    const alerts::Site site = thisSite();
    for (const alerts::Channel &channel : known.channels) {
        alerts::Content content{alerts::MessageType::Conditions, site, channel.name, {}, {}};
        for (const ConditionEvent &event : events)
            if (channel.takes(event)) content.events << event;
        if (!content.events.isEmpty()) messages << messageFor(channel, content, now);
    }
    alerts::queueMessages(messages, retryWait);
}

alerts::Summary siteSummary(const QDateTime &now) {
    alerts::Summary summary;
    summary.from = now.addDays(-1);
    summary.until = now;
    const QList<store::MonitoredPrinter> printers = store::monitoredPrinters();
    summary.printers = int(printers.size());
    const store::ConditionStates states(store::globals().programFolder);
    const store::History history(store::globals().programFolder, true);
    QSet<QString> read;
    for (const store::ReadingEntry &reading : history.readings({}, summary.from, now)) read << reading.host;
    for (const store::MonitoredPrinter &printer : printers) {
        const store::PrinterCondition state = states.printers().value(printer.host);
        const PrinterNames names = namesOf(printer, state);
        if (read.contains(printer.host)) ++summary.read;
        if (state.silentSince.isValid()) summary.notAnswering.append({names, state.silentSince});
        for (const store::TrackedCondition &tracked : state.raised())
            summary.active << eventOf(names, state, tracked.seen, tracked.since, true, now);
        summary.supplies << lowSupplies(history, names, now);
    }
    const auto waiting = readOutbox();
    summary.waitingReadings = waiting ? int(waiting->size()) : 0;
    return summary;
}

void makeDueSummaries(const QDateTime &now) {
    if (!reading::printermib::enabled()) return;
    QList<alerts::WaitingMessage> messages;
    std::optional<alerts::Summary> summary;
    for (const alerts::Channel &channel : alerts::channels().channels) {
        if (!channel.summaryAt) continue;
        const QDateTime due(now.toLocalTime().date(), *channel.summaryAt);
        if (now < due || alerts::lastSummaryMade(channel.name) >= due) continue;
        if (!summary) summary = siteSummary(now);
        const alerts::Content content{alerts::MessageType::Summary, thisSite(), channel.name, {}, *summary};
        messages << messageFor(channel, content, now.toUTC());
    }
    alerts::queueMessages(messages, retryWait);
}

int sendWaitingAlerts(bool dueOnly, QString *failure) {
    return alerts::sendWaitingMessages(dueOnly, retryWait, failure);
}

} // namespace upload
