#include "conditionwatch.h"

#include "alerting.h"
#include "cycle.h"
#include "historylog.h"
#include "platform/fault.h"
#include "platform/hostresolution.h"
#include "platform/window.h"
#include "reading/conditionread.h"
#include "reading/printermib.h"
#include "reading/supplyread.h"
#include "store/alertsettings.h"
#include "store/conditionstate.h"
#include "store/globals.h"
#include "store/history.h"
#include "store/log.h"
#include "store/pips.h"

#include <QDateTime>
#include <QFileInfo>

#include <algorithm>

namespace upload {
namespace {

using platform::Attention;
using reading::conditions::Severity;

bool pollRunning = false;

Attention attentionOf(int severity) {
    switch (severity) {
    case 3: return Attention::Critical;
    case 2: return Attention::Warning;
    case 1: return Attention::Notice;
    }
    return Attention::None;
}

reading::ConditionMemory memoryOf(const store::PrinterCondition &printer) {
    return {printer.deviceIndex, printer.upTime, printer.allEvents, printer.criticalEvents, printer.alertsActive};
}

using Monitored = store::MonitoredPrinter;

QStringList hostsOf(const QList<Monitored> &printers) {
    QStringList hosts;
    for (const Monitored &printer : printers) hosts << printer.host;
    return hosts;
}

// The printer's row: the worst raised condition, or "Not answering" while it is silent; each raised one in the tip.
void showPrinter(const QString &host, const store::PrinterCondition &printer) {
    const QList<store::TrackedCondition> raised = printer.raised();
    QStringList details;
    for (const store::TrackedCondition &tracked : raised)
        details << QStringLiteral("%1 (%2, since %3)")
                       .arg(tracked.seen.text, reading::conditions::severityName(Severity(tracked.seen.severity)),
                            store::shownTime(tracked.since));
    QString status = raised.isEmpty() ? QString() : raised.first().seen.text;
    Attention attention = raised.isEmpty() ? Attention::None : attentionOf(raised.first().seen.severity);
    if (printer.silentSince.isValid()) {
        details.prepend(printer.lastAnswer.isValid()
                            ? QStringLiteral("Not answering since %1: conditions not confirmed since %2")
                                  .arg(store::shownTime(printer.silentSince), store::shownTime(printer.lastAnswer))
                            : QStringLiteral("Not answering since %1").arg(store::shownTime(printer.silentSince)));
        if (attention < Attention::Warning) {
            status = QStringLiteral("Not answering");
            attention = std::max(attention, Attention::NotAnswering);
        }
    }
    platform::window().updatePipStatus(host, status, attention, details.join(u'\n'));
}

// Counts the printers whose worst raised condition is a warning or worse. The states hold the monitored printers
// only: the poll and a refill of the list forget the others, so a reading need not go through every slot for it.
void showAttentionCount(const store::ConditionStates &states) {
    int count = 0;
    for (const store::PrinterCondition &printer : states.printers()) {
        const QList<store::TrackedCondition> raised = printer.raised();
        if (!raised.isEmpty() && raised.first().seen.severity >= int(Severity::Warning)) ++count;
    }
    platform::window().showPrintersNeedingAttention(count);
}

// One notice for the conditions a read newly raised that the site wants to hear of: not the toner's (the toner
// notice speaks for them), none below the notice level.
void announce(const QList<store::ConditionChange> &changes, const store::PrinterCondition &printer,
              const QString &host, const QString &description, const store::AlertSettings &settings) {
    QStringList texts;
    int worst = 0;
    for (const store::ConditionChange &change : changes) {
        if (!change.raised || change.condition.severity < settings.notifyFrom ||
            reading::conditions::isTonerKind(change.condition.kind))
            continue;
        texts << change.condition.text;
        worst = std::max(worst, change.condition.severity);
    }
    if (texts.isEmpty()) return;
    const QString model = printer.model.isEmpty() ? host : printer.model;
    store::WriteLog(QStringLiteral("Condition of %1 (%2): %3").arg(host, model, texts.join(QStringLiteral(", "))));
    if (!printer.panel.isEmpty()) texts << printer.panel.join(QStringLiteral(" / "));
    platform::window().notifyCondition(model + QStringLiteral(" (") + description + QStringLiteral(")"),
                                       texts.join(u'\n'), attentionOf(worst));
}

// The keys of the shown conditions that a supply's level says: a condition of the supplies, or one of the alert
// table that a supply's condition was merged into.
QStringList supplyKeysOf(const QList<reading::conditions::Condition> &shown,
                         const QList<reading::conditions::Condition> &fromSupplies) {
    QStringList keys;
    for (const auto &condition : shown)
        for (const auto &supply : fromSupplies)
            if (supply.kind == condition.kind && (supply.unit == condition.unit || supply.unit.isEmpty()))
                keys << condition.key();
    keys.removeDuplicates();
    return keys;
}

// One read's signals, and the supplies where they were read, into the printer's remembered condition; the changes it
// makes. Without supplies read, the conditions the last read of them gave are kept as they stand.
QList<store::ConditionChange> take(store::ConditionStates &states, const QString &host, const QString &address,
                                   const reading::conditions::Signals &read, const store::AlertSettings &settings,
                                   const reading::SuppliesRead *supplies = nullptr) {
    store::PrinterCondition &printer = states.printer(host);
    printer.address = address;
    if (!read.answered) {
        // A site that mutes silence never hears of it, however long it lasts.
        constexpr int Never = 24 * 365 * 1000;
        const bool muted = settings.muted(address, store::NotAnsweringKind, {});
        const int silentHours = muted ? Never : settings.silentHours;
        return states.observe(host, std::nullopt, QDateTime::currentDateTimeUtc(), silentHours);
    }
    printer.deviceIndex = read.deviceIndex;
    printer.upTime = read.upTime;
    printer.allEvents = read.allEvents;
    printer.criticalEvents = read.criticalEvents;
    printer.deviceStatus = read.deviceStatus;
    printer.printerStatus = read.printerStatus;
    if (read.alertsRead) printer.panel = read.panel;
    const bool suppliesRead = supplies && supplies->answered;
    const auto fromSupplies = suppliesRead ? reading::supplies::conditionsOf(supplies->supplies)
                                           : QList<reading::conditions::Condition>();
    QList<store::SeenCondition> shown;
    QList<reading::conditions::Condition> kept;
    bool fromAlerts = false;
    for (const auto &condition : reading::supplies::merged(reading::conditions::conditionsOf(read), fromSupplies)) {
        if (settings.muted(address, condition.kind, condition.unit)) continue;
        shown.append({condition.key(), condition.kind, condition.unit, condition.text, int(condition.severity)});
        kept << condition;
        fromAlerts = fromAlerts || condition.fromAlert;
    }
    if (read.alertsRead) printer.alertsActive = fromAlerts;
    const QStringList unread = suppliesRead ? QStringList() : printer.supplyKeys;
    if (suppliesRead) printer.supplyKeys = supplyKeysOf(kept, fromSupplies);
    return states.observe(host, shown, QDateTime::currentDateTimeUtc(), settings.silentHours, unread);
}

// The printers whose readings the service has not taken for the site's days, raised or cleared, by the newest reading
// taken that the history holds: none without a history yet. A history that is there but cannot be read makes no
// printer late.
QHash<QString, QList<store::ConditionChange>> observeReadings(store::ConditionStates &states,
                                                              const QList<Monitored> &printers,
                                                              const store::AlertSettings &settings) {
    QHash<QString, QList<store::ConditionChange>> changes;
    const store::History history(store::globals().programFolder, true); // read-only: never made here
    if (!history.isOpen() && QFileInfo::exists(history.path())) return changes;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const Monitored &printer : printers) {
        const bool muted = settings.muted(states.printer(printer.host).address, store::NoReadingKind, {});
        const auto late = states.observeReadings(printer.host, history.lastAccepted(printer.host), now,
                                                 muted ? 0 : settings.noReadingDays);
        if (!late.isEmpty()) changes.insert(printer.host, late);
    }
    return changes;
}

void tell(store::ConditionStates &states, const QString &host, const QString &description,
          const QList<store::ConditionChange> &changes, const store::AlertSettings &settings) {
    announce(changes, states.printer(host), host, description, settings);
    showPrinter(host, states.printer(host));
}

// Tells the window of each printer's changes and stores them in the history; all of them, in the printers' order.
QList<store::ConditionChange> tellAndStore(store::ConditionStates &states, const QList<Monitored> &printers,
                                           const QHash<QString, QList<store::ConditionChange>> &changes,
                                           const store::AlertSettings &settings) {
    QList<store::ConditionChange> all;
    for (const Monitored &printer : printers)
        if (changes.contains(printer.host)) {
            tell(states, printer.host, printer.description, changes[printer.host], settings);
            all << changes[printer.host];
        }
    storeConditionChanges(all);
    showAttentionCount(states);
    return all;
}

} // namespace

Watched watchAfterReading(const QString &host, const QString &address, const QString &description) {
    Watched watched;
    if (!reading::printermib::enabled()) return watched;
    try {
        const store::AlertSettings settings = store::alertSettings();
        store::ConditionStates states(store::globals().programFolder);
        store::PrinterCondition &printer = states.printer(host);
        QString model;
        const auto read = reading::readConditionSignals(address, memoryOf(printer), false, &model);
        if (!model.isEmpty()) printer.model = model;
        if (read.answered) watched.supplies = reading::readSupplies(address, read.deviceIndex);
        watched.changes = take(states, host, address, read, settings, &watched.supplies);
        states.save();
        tell(states, host, description, watched.changes, settings);
        showAttentionCount(states);
    } catch (const platform::Fault &fault) {
        store::WriteLog(QStringLiteral("Condition of %1 not read: %2").arg(host, fault.description));
    }
    return watched;
}

bool conditionPollRunning() { return pollRunning; }

bool runConditionPoll() {
    if (!reading::printermib::enabled() || pollRunning || cycleRunning()) return false;
    pollRunning = true;
    try {
        const store::AlertSettings settings = store::alertSettings();
        store::ConditionStates states(store::globals().programFolder);
        const QList<Monitored> printers = store::monitoredPrinters();
        states.keepOnly(hostsOf(printers));
        QList<reading::PollTarget> targets;
        QHash<QString, QString> addressOf;
        for (const Monitored &printer : printers) {
            const QString address = platform::ResolveHost(printer.host);
            if (address.isEmpty()) continue;
            addressOf.insert(printer.host, address);
            targets.append({address, memoryOf(states.printer(printer.host))});
        }
        const auto read = reading::pollConditionSignals(targets);
        QHash<QString, QList<store::ConditionChange>> changes = observeReadings(states, printers, settings);
        for (const Monitored &printer : printers) {
            const QString address = addressOf.value(printer.host);
            if (read.contains(address))
                changes[printer.host] = take(states, printer.host, address, read[address], settings) +
                                        changes.value(printer.host);
        }
        states.save();
        alertConditionChanges(tellAndStore(states, printers, changes, settings), states);
    } catch (const platform::Fault &fault) {
        store::WriteLog(QStringLiteral("Condition poll ended: %1").arg(fault.description));
    }
    pollRunning = false;
    runDeferredCycle();
    return true;
}

void finishCycleConditions(const QList<store::ConditionChange> &cycleChanges) {
    if (!reading::printermib::enabled()) return;
    const store::AlertSettings settings = store::alertSettings();
    store::ConditionStates states(store::globals().programFolder);
    const QList<Monitored> printers = store::monitoredPrinters();
    const QHash<QString, QList<store::ConditionChange>> late = observeReadings(states, printers, settings);
    states.save();
    alertConditionChanges(cycleChanges + tellAndStore(states, printers, late, settings), states);
}

int pollIntervalTicks() { return store::alertSettings().pollMinutes * 2; }

void showRememberedConditions() {
    if (!reading::printermib::enabled()) return;
    store::ConditionStates states(store::globals().programFolder);
    const QList<Monitored> printers = store::monitoredPrinters();
    states.keepOnly(hostsOf(printers));
    states.save();
    for (const Monitored &printer : printers)
        if (states.printers().contains(printer.host)) showPrinter(printer.host, states.printer(printer.host));
    showAttentionCount(states);
}

} // namespace upload
