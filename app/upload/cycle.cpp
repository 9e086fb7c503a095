#include "cycle.h"

#include "alerting.h"
#include "conditionwatch.h"
#include "download.h"
#include "historylog.h"
#include "outbox.h"
#include "platform/hostresolution.h"
#include "platform/window.h"
#include "reading/brand.h"
#include "reading/faultrule.h"
#include "reading/keypoint.h"
#include "reading/printerinfo.h"
#include "reading/printermib.h"
#include "servicerequests.h"
#include "store/config.h"
#include "store/globals.h"
#include "store/log.h"
#include "store/pips.h"

#include <atomic>
#include <utility>

namespace upload {
namespace {

std::atomic<bool> stopping = false;
bool running = false;
bool deferred = false; // asked for during a condition poll

// Whether a stored key point can be read from; otherwise the printer is searched again, and the log says why. A key
// point kept in the key points file, or holding a packed record or a sum, is a counter map's, read only while the
// standard Printer MIB readings are on.
bool usable(const store::StoredKeyPoint &stored, int slot, const QString &host) {
    QString why = stored.problem;
    if (why.isEmpty() && !reading::printermib::enabled()) {
        if (stored.kept) why = QStringLiteral("is kept in ") + store::KeyPointsFileName;
        else if (reading::holdsMapForms(stored.keyPoint)) why = QStringLiteral("holds a packed record or a sum");
        if (!why.isEmpty()) why += QStringLiteral(" and StandardPrinterMib is 0");
    }
    if (why.isEmpty()) return true;
    store::WriteLog(QStringLiteral("Key point of %1 (%2) %3: searched again").arg(store::slotKey(slot), host, why));
    return false;
}

// What one slot's handling ends in.
enum class SlotOutcome { Skipped, Handled, Unresolved };

struct Cycle {
    store::Globals &values = store::globals();
    store::PipRecords records{values.iniFile};
    platform::Window &window = platform::window();
    reading::FaultRule rule{QStringLiteral("errSendPCC")};
    bool ended = false; // the tenth error
    QList<store::ConditionChange> conditionChanges; // raised and cleared by the watch after each reading

    bool step(const std::function<void()> &action) {
        ended = ended || !rule.run(action);
        return !ended;
    }

    SlotOutcome handleSlot(int slot);
    void sendReading(int slot, short rules, const QString &host, const QString &address, const QString &description,
                     const QString &keyPoint, const QString &identity);
};

SlotOutcome Cycle::handleSlot(int slot) {
    QString addressValue, description;
    if (!step([&] {
            addressValue = records.address(slot);
            description = records.description(slot);
        }))
        return SlotOutcome::Skipped;
    if (addressValue.size() < store::ShortestAddress) return SlotOutcome::Skipped;

    const QString host = store::hostOf(addressValue);
    bool search = !addressValue.contains(u':');
    QString keyPoint, identity, address;
    short rules = reading::Unknown; // the brand, or the standard Printer MIB's rules
    if (!search) {
        store::StoredKeyPoint stored;
        if (!step([&] {
                stored = records.keyPoint(slot);
                identity = records.identity(slot);
            }))
            return SlotOutcome::Handled;
        search = !usable(stored, slot, host);
        keyPoint = stored.keyPoint;
    }
    if (!step([&] { address = platform::ResolveHost(host); })) return SlotOutcome::Handled;
    if (address.isEmpty()) {
        // "Last Update" replaces the status at once: the log keeps it.
        const QString error = QStringLiteral("PIP error: ") + host + u'>';
        window.setStatus(error);
        store::WriteLog(error);
        return SlotOutcome::Unresolved;
    }
    QString sysDescr;
    if (!step([&] { rules = reading::readingRules(reading::GetCodeBrand(address, sysDescr), sysDescr); }))
        return SlotOutcome::Handled;
    if (search) {
        identity.clear();
        if (!step([&] { keyPoint = reading::SearchPrinterKeyPoint(rules, address, identity); })) return SlotOutcome::Handled;
        if (!step([&] { records.attachKeyPoint(slot, host, keyPoint, identity); })) return SlotOutcome::Handled;
    }
    sendReading(slot, rules, host, address, description, keyPoint, identity);
    return SlotOutcome::Handled;
}

void Cycle::sendReading(int slot, short rules, const QString &host, const QString &address,
                        const QString &description, const QString &keyPoint, const QString &identity) {
    reading::PrinterReading read;
    if (!step([&] { read = reading::readPrinter(rules, host, address, description, keyPoint, identity); })) return;
    const QString &record = read.record;
    if (record == QLatin1String("-2")) {
        step([&] {
            records.reset(slot, host);
            window.setStatus(QStringLiteral("Reset pip ") + QString::number(slot));
            store::WriteLog(QStringLiteral("Reset pip ") + QString::number(slot) + u' ' + identity);
        });
        return;
    }
    ServiceRequest request;
    const QDateTime readAt = QDateTime::currentDateTimeUtc();
    for (const auto &action : std::initializer_list<std::function<void()>>{
             [&] { request = uploadRequest(values.vendorId, record, values.appCode); },
             [&] { window.setStatus(QStringLiteral("Sending ") + host); },
             [&] { window.setStatus(QStringLiteral(" ")); },
             [&] { store::WriteLog(request.text()); },
             [&] { upload::sendReading(host, request.url(), readAt); }})
        if (!step(action)) return;
    const Watched watched = watchAfterReading(host, address, description);
    storeReading(host, read, readAt, watched.supplies, watched.changes);
    conditionChanges << watched.changes;
}

} // namespace

void requestStop(bool stop) { stopping = stop; }
bool stopRequested() { return stopping; }

bool SendPCC() {
    Cycle cycle;
    bool anyHandled = false, unresolved = false;
    for (int slot = 1; slot <= store::SlotCount && !cycle.ended && !stopping; ++slot) {
        const SlotOutcome outcome = cycle.handleSlot(slot);
        if (outcome != SlotOutcome::Skipped) anyHandled = true;
        unresolved = outcome == SlotOutcome::Unresolved;
        if (unresolved) break;
    }
    finishCycleConditions(cycle.conditionChanges);
    // A stop ends the cycle where it stands: no list download, no "Last Update".
    if (cycle.ended || stopping) return false;
    bool downloaded = true;
    if (!anyHandled && !cycle.step([&] { downloaded = DownloadPipList(); })) return false;
    cycle.window.setStatus(QStringLiteral("Last Update ") + store::generalDateTime());
    cycle.values.dataSent = true;
    return downloaded && !unresolved;
}

bool runCycle() {
    if (running) return false;
    if (conditionPollRunning()) return deferred = true;
    running = true;
    SendPCC();
    running = false;
    return true;
}

bool cycleRunning() { return running; }

void runDeferredCycle() {
    if (std::exchange(deferred, false)) runCycle();
}

std::chrono::milliseconds tickLength() {
    bool set = false;
    const int milliseconds = qEnvironmentVariableIntValue("METERLANE_TICK_MS", &set);
    return std::chrono::milliseconds(set && milliseconds > 0 ? milliseconds : 30000);
}

int readingIntervalTicks() {
    const int interval = store::settingNumber(store::globals().iniFile, QStringLiteral("Settings"),
                                              QStringLiteral("IntervalReadMinutes"));
    return interval == 0 ? 10 : interval;
}

std::chrono::milliseconds uploadTimeLimit() { return tickLength() / 2; }

void sendWaiting() {
    retryWaitingReadings();
    makeDueSummaries(QDateTime::currentDateTimeUtc());
    sendWaitingAlerts();
}

ReadSchedule::ReadSchedule(std::function<bool()> cycle, std::function<void()> retry, std::function<bool()> poll)
    : cycle_(std::move(cycle)), retry_(std::move(retry)), poll_(std::move(poll)) {}

std::function<bool()> ReadSchedule::defaultPoll() { return runConditionPoll; }

bool ReadSchedule::tick() {
    store::Globals &values = store::globals();
    const bool due = ++ticks_ >= values.intervalRead;
    const bool ran = due && cycle_(); // false: a cycle is running, this tick starts none
    if (ran) {
        ticks_ = 1;
        values.intervalRead = readingIntervalTicks();
        pollTicks_ = 0; // the cycle read every printer's condition
    }
    // A tick inside a cycle's waits sends nothing again: the cycle is reading the printers, and a retry out while
    // a printer's newer reading is handed over could reach the service after it.
    if (running) return ran;
    retry_();
    const int pollInterval = pollIntervalTicks();
    if (pollInterval > 0 && ++pollTicks_ >= pollInterval && poll_()) pollTicks_ = 0;
    return ran;
}

} // namespace upload
