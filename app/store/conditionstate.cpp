#include "conditionstate.h"

#include "inifile.h"
#include "log.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace store {
namespace {

constexpr int ReadsToChange = 2;
constexpr int FileVersion = 1;

QString isoTime(const QDateTime &time) { return time.isValid() ? time.toUTC().toString(Qt::ISODate) : QString(); }
QDateTime timeOf(const QJsonValue &value) { return QDateTime::fromString(value.toString(), Qt::ISODate); }

QJsonObject conditionJson(const TrackedCondition &tracked) {
    return {{QStringLiteral("key"), tracked.seen.key},       {QStringLiteral("kind"), tracked.seen.kind},
            {QStringLiteral("unit"), tracked.seen.unit},     {QStringLiteral("text"), tracked.seen.text},
            {QStringLiteral("severity"), tracked.seen.severity}, {QStringLiteral("since"), isoTime(tracked.since)},
            {QStringLiteral("raised"), tracked.raised},      {QStringLiteral("streak"), tracked.streak}};
}

std::optional<TrackedCondition> conditionOf(const QJsonObject &object) {
    TrackedCondition tracked;
    tracked.seen = {object.value(QStringLiteral("key")).toString(), object.value(QStringLiteral("kind")).toString(),
                    object.value(QStringLiteral("unit")).toString(), object.value(QStringLiteral("text")).toString(),
                    std::clamp(object.value(QStringLiteral("severity")).toInt(), 1, 3)};
    tracked.since = timeOf(object.value(QStringLiteral("since")));
    tracked.raised = object.value(QStringLiteral("raised")).toBool();
    tracked.streak = std::clamp(object.value(QStringLiteral("streak")).toInt(), 0, ReadsToChange);
    if (tracked.seen.key.isEmpty() || tracked.seen.kind.isEmpty()) return std::nullopt;
    return tracked;
}

QJsonObject printerJson(const PrinterCondition &printer) {
    QJsonArray conditions;
    for (const TrackedCondition &tracked : printer.conditions) conditions.append(conditionJson(tracked));
    QJsonObject object{{QStringLiteral("deviceIndex"), printer.deviceIndex},
                       {QStringLiteral("allEvents"), printer.allEvents},
                       {QStringLiteral("criticalEvents"), printer.criticalEvents},
                       {QStringLiteral("alertsActive"), printer.alertsActive},
                       {QStringLiteral("lastAnswer"), isoTime(printer.lastAnswer)},
                       {QStringLiteral("silentSince"), isoTime(printer.silentSince)},
                       {QStringLiteral("deviceStatus"), printer.deviceStatus},
                       {QStringLiteral("printerStatus"), printer.printerStatus},
                       {QStringLiteral("model"), printer.model},
                       {QStringLiteral("address"), printer.address},
                       {QStringLiteral("watchedSince"), isoTime(printer.watchedSince)},
                       {QStringLiteral("panel"), QJsonArray::fromStringList(printer.panel)},
                       {QStringLiteral("supplyKeys"), QJsonArray::fromStringList(printer.supplyKeys)},
                       {QStringLiteral("conditions"), conditions}};
    if (printer.upTime) object.insert(QStringLiteral("upTime"), qint64(*printer.upTime));
    return object;
}

PrinterCondition printerOf(const QJsonObject &object) {
    PrinterCondition printer;
    printer.deviceIndex = std::max(0, object.value(QStringLiteral("deviceIndex")).toInt());
    if (const QJsonValue upTime = object.value(QStringLiteral("upTime")); upTime.isDouble())
        printer.upTime = quint32(std::clamp<qint64>(upTime.toInteger(), 0, 0xFFFFFFFF));
    printer.allEvents = object.value(QStringLiteral("allEvents")).toInt(-1);
    printer.criticalEvents = object.value(QStringLiteral("criticalEvents")).toInt(-1);
    printer.alertsActive = object.value(QStringLiteral("alertsActive")).toBool();
    printer.lastAnswer = timeOf(object.value(QStringLiteral("lastAnswer")));
    printer.silentSince = timeOf(object.value(QStringLiteral("silentSince")));
    printer.deviceStatus = object.value(QStringLiteral("deviceStatus")).toInt();
    printer.printerStatus = object.value(QStringLiteral("printerStatus")).toInt();
    printer.model = object.value(QStringLiteral("model")).toString();
    printer.address = object.value(QStringLiteral("address")).toString();
    printer.watchedSince = timeOf(object.value(QStringLiteral("watchedSince")));
    for (const QJsonValue line : object.value(QStringLiteral("panel")).toArray()) printer.panel << line.toString();
    for (const QJsonValue key : object.value(QStringLiteral("supplyKeys")).toArray())
        if (!key.toString().isEmpty()) printer.supplyKeys << key.toString();
    for (const QJsonValue value : object.value(QStringLiteral("conditions")).toArray())
        if (const auto tracked = conditionOf(value.toObject())) printer.conditions.insert(tracked->seen.key, *tracked);
    return printer;
}

} // namespace

QString shownTime(const QDateTime &time) { return time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")); }

QList<TrackedCondition> PrinterCondition::raised() const {
    QList<TrackedCondition> list;
    for (const TrackedCondition &tracked : conditions)
        if (tracked.raised) list << tracked;
    std::stable_sort(list.begin(), list.end(), [](const TrackedCondition &a, const TrackedCondition &b) {
        return a.seen.severity != b.seen.severity ? a.seen.severity > b.seen.severity : a.since < b.since;
    });
    return list;
}

QMap<QString, PrinterCondition> parseConditionStates(const QByteArray &bytes) {
    QMap<QString, PrinterCondition> printers;
    const QJsonObject root = QJsonDocument::fromJson(bytes).object();
    if (root.value(QStringLiteral("version")).toInt() != FileVersion) return printers;
    const QJsonObject listed = root.value(QStringLiteral("printers")).toObject();
    for (auto printer = listed.begin(); printer != listed.end(); ++printer)
        if (!printer.key().isEmpty()) printers.insert(printer.key(), printerOf(printer.value().toObject()));
    return printers;
}

QByteArray conditionStatesJson(const QMap<QString, PrinterCondition> &printers) {
    QJsonObject listed;
    for (auto printer = printers.begin(); printer != printers.end(); ++printer)
        listed.insert(printer.key(), printerJson(printer.value()));
    return QJsonDocument(QJsonObject{{QStringLiteral("version"), FileVersion}, {QStringLiteral("printers"), listed}})
        .toJson(QJsonDocument::Indented);
}

ConditionStates::ConditionStates(const QString &folder) : path_(QDir(folder).filePath(ConditionStateFileName)) {
    QFile file(path_);
    if (!file.exists()) return;
    if (!file.open(QIODevice::ReadOnly)) {
        WriteLog(QStringLiteral("Cannot read %1 (%2): conditions start afresh").arg(path_, file.errorString()));
        return;
    }
    written_ = file.readAll();
    printers_ = parseConditionStates(written_);
}

void ConditionStates::keepOnly(const QStringList &hosts) {
    for (auto printer = printers_.begin(); printer != printers_.end();)
        printer = hosts.contains(printer.key()) ? std::next(printer) : printers_.erase(printer);
}

QList<ConditionChange> ConditionStates::observe(const QString &host, const std::optional<QList<SeenCondition>> &shown,
                                                const QDateTime &now, int silentHours, const QStringList &unread) {
    PrinterCondition &printer = printers_[host];
    QList<ConditionChange> changes;
    auto &conditions = printer.conditions;
    if (!printer.watchedSince.isValid()) printer.watchedSince = now;
    if (!shown) {
        if (!printer.silentSince.isValid()) printer.silentSince = now;
        if (!conditions.contains(NotAnsweringKind) && printer.silentSince.secsTo(now) >= qint64(silentHours) * 3600) {
            const SeenCondition silent{NotAnsweringKind, NotAnsweringKind, {}, QStringLiteral("Not answering"), 2};
            conditions.insert(NotAnsweringKind, {silent, printer.silentSince, true, 0});
            changes.append({host, silent, printer.silentSince, true});
        }
        return changes;
    }
    printer.lastAnswer = now;
    printer.silentSince = QDateTime();
    if (const auto silent = conditions.constFind(NotAnsweringKind); silent != conditions.cend()) {
        changes.append({host, silent->seen, silent->since, false});
        conditions.erase(silent);
    }
    QStringList seenKeys;
    for (const SeenCondition &seen : *shown) {
        seenKeys << seen.key;
        auto tracked = conditions.find(seen.key);
        if (tracked == conditions.end()) tracked = conditions.insert(seen.key, {seen, now, false, 0});
        tracked->seen = seen;
        if (tracked->raised) {
            tracked->streak = 0;
        } else if (++tracked->streak >= ReadsToChange) {
            tracked->raised = true;
            tracked->streak = 0;
            changes.append({host, seen, tracked->since, true});
        }
    }
    for (auto tracked = conditions.begin(); tracked != conditions.end();) {
        if (seenKeys.contains(tracked.key()) || unread.contains(tracked.key()) || tracked.key() == NoReadingKind) {
            ++tracked;
        } else if (!tracked->raised) {
            tracked = conditions.erase(tracked); // pending, not confirmed
        } else if (++tracked->streak >= ReadsToChange) {
            changes.append({host, tracked->seen, tracked->since, false});
            tracked = conditions.erase(tracked);
        } else {
            ++tracked;
        }
    }
    return changes;
}

QList<ConditionChange> ConditionStates::observeReadings(const QString &host, const QDateTime &lastTaken,
                                                       const QDateTime &now, int days) {
    PrinterCondition &printer = printers_[host];
    if (!printer.watchedSince.isValid()) printer.watchedSince = now;
    const QDateTime waitingSince = lastTaken.isValid() ? lastTaken : printer.watchedSince;
    const bool late = days > 0 && waitingSince.secsTo(now) >= qint64(days) * 24 * 3600;
    const auto held = printer.conditions.constFind(NoReadingKind);
    if (late == (held != printer.conditions.cend())) return {};
    if (!late) {
        const ConditionChange cleared{host, held->seen, held->since, false};
        printer.conditions.erase(held);
        return {cleared};
    }
    const SeenCondition noReading{NoReadingKind, NoReadingKind, {},
                                  days == 1 ? QStringLiteral("No reading for 1 day")
                                            : QStringLiteral("No reading for %1 days").arg(days),
                                  2};
    printer.conditions.insert(NoReadingKind, {noReading, waitingSince, true, 0});
    return {{host, noReading, waitingSince, true}};
}

bool ConditionStates::save() {
    const QByteArray bytes = conditionStatesJson(printers_);
    if (bytes == written_) return true;
    if (!writeFileAtomically(path_, bytes)) {
        WriteLog(QStringLiteral("Cannot write %1: conditions are kept until the next try").arg(path_));
        return false;
    }
    written_ = bytes;
    return true;
}

} // namespace store
