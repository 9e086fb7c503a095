#include "conditionread.h"

#include "oidreader.h"
#include "platform/componentfactory.h"
#include "platform/fault.h"
#include "printermib.h"
#include "profilechoice.h"
#include "supplies.h"
#include "store/snmpprofiles.h"

#include <QMap>

#include <algorithm>

namespace reading {
namespace {

using conditions::AlertRow;
using conditions::Signals;

constexpr int MostRows = 64;       // alert rows, device rows and panel lines read at most
constexpr int FirstAlertColumn = 2, LastAlertColumn = 9;
constexpr int PollRounds = 2;      // single tries: a lost datagram is asked again once

QString indexed(const QString &oid, int index) { return oid + u'.' + QString::number(index); }

bool isValue(const QString &text) { return !text.startsWith(QLatin1String("[Vantobe")) && text != ReadFailed; }

// TimeTicks come as the library's signed text of their 32 bits.
std::optional<quint32> ticksOf(const QString &text) {
    bool ok = false;
    const qint64 number = text.trimmed().toLongLong(&ok);
    return ok ? std::optional(quint32(number & 0xFFFFFFFF)) : std::nullopt;
}

// The status objects a quick read asks, in one get.
QStringList statusOids(int device) {
    return {printermib::SysUpTime,
            indexed(printermib::DeviceStatus, device),
            indexed(printermib::PrinterStatus, device),
            indexed(printermib::DetectedErrorState, device),
            indexed(printermib::AlertCriticalEvents, device),
            indexed(printermib::AlertAllEvents, device)};
}

// One status object's answer into the signals; octet strings come as "0x" and their bytes.
void takeStatus(Signals &read, const QString &oid, const QString &text) {
    if (!isValue(text)) return;
    read.answered = true;
    const int device = read.deviceIndex;
    if (oid == printermib::SysUpTime) read.upTime = ticksOf(text);
    else if (oid == indexed(printermib::DeviceStatus, device)) read.deviceStatus = numberOf(text).value_or(0);
    else if (oid == indexed(printermib::PrinterStatus, device)) read.printerStatus = numberOf(text).value_or(0);
    else if (oid == indexed(printermib::AlertCriticalEvents, device)) read.criticalEvents = numberOf(text).value_or(-1);
    else if (oid == indexed(printermib::AlertAllEvents, device)) read.allEvents = numberOf(text).value_or(-1);
    else if (oid == indexed(printermib::DetectedErrorState, device) && text.startsWith(QLatin1String("0x")))
        read.errorState = QByteArray::fromHex(text.mid(2).toLatin1());
}

// The rows of a table column under prefix in the agent's order: the index that follows the prefix, and the value.
QList<std::pair<QString, QString>> walkColumn(const QString &address, const QString &prefix) {
    QList<std::pair<QString, QString>> rows;
    QString oid = prefix;
    while (rows.size() < MostRows) {
        QString next;
        const QString value = probeNextOid(address, oid, next);
        if (next.startsWith(u'.')) next.remove(0, 1);
        if (value == ReadFailed || !next.startsWith(prefix + u'.') || next == oid) break;
        rows.append({next.mid(prefix.size() + 1), value});
        oid = next;
    }
    return rows;
}

// The sub-unit's colour of a marker supplies or colorant row, where the printer names it: a supply's colorant, else
// the colour its description names, as the supplies read finds it, so that a row and a level are one condition.
QString colourOf(const QString &address, int device, const AlertRow &row) {
    constexpr int MarkerSupplies = 11, MarkerColorant = 12;
    const auto column = [&](const QString &oid) { return indexed(indexed(oid, device), row.groupIndex); };
    int colorant = 0;
    if (row.group == MarkerColorant) colorant = row.groupIndex;
    else if (row.group == MarkerSupplies)
        colorant = numberOf(probeOid(address, column(printermib::SupplyColorantIndex))).value_or(0);
    else return {};
    if (colorant > 0) {
        const QString value = probeOid(address, indexed(indexed(printermib::ColorantValue, device), colorant));
        if (isValue(value) && !supplies::colourOf(value, {}).isEmpty()) return supplies::colourOf(value, {});
    }
    if (row.group != MarkerSupplies) return {};
    const auto description = probeOctets(address, column(printermib::SupplyDescription));
    return description ? supplies::colourOf({}, supplies::descriptionOf(*description)) : QString();
}

QList<AlertRow> walkAlerts(const QString &address, int device) {
    QMap<QString, AlertRow> rows;
    QStringList order; // the rows as the agent keeps them
    for (int column = FirstAlertColumn; column <= LastAlertColumn; ++column) {
        const QString prefix = indexed(indexed(printermib::AlertEntry, column), device);
        for (const auto &[index, text] : walkColumn(address, prefix)) {
            if (!rows.contains(index)) order << index;
            AlertRow &row = rows[index];
            row.index = index;
            const int number = numberOf(text).value_or(0);
            switch (column) {
            case 2: row.severity = number; break;
            case 3: row.training = number; break;
            case 4: row.group = number; break;
            case 5: row.groupIndex = number; break;
            case 6: row.location = number; break;
            case 7: row.code = number; break;
            case 8: row.description = text; break;
            case 9: row.time = ticksOf(text).value_or(0); break;
            }
        }
    }
    QList<AlertRow> alerts;
    for (const QString &index : order) {
        AlertRow row = rows.value(index);
        row.unit = colourOf(address, device, row);
        alerts << row;
    }
    return alerts;
}

// The panel lines: the standard console lines in the console's character set, else a maker's own panel text.
QStringList readPanel(const QString &address, int device) {
    QList<QByteArray> lines;
    for (int line = 1; line <= MostRows; ++line) {
        const auto octets = probeOctets(address, indexed(indexed(printermib::ConsoleDisplayText, device), line));
        if (!octets) break;
        lines << *octets;
    }
    int charset = 0;
    if (!lines.isEmpty())
        if (const auto localization = numberOf(probeOid(address, indexed(printermib::ConsoleLocalization, device))))
            charset = numberOf(probeOid(address, indexed(indexed(printermib::LocalizationCharacterSet, device),
                                                          *localization)))
                          .value_or(0);
    for (const QString &own : {printermib::HpStatusDisplay, printermib::BrotherStatusDisplay}) {
        if (!lines.isEmpty()) break;
        if (const auto octets = probeOctets(address, own)) lines << *octets;
    }
    QStringList panel;
    for (const QByteArray &line : lines)
        if (const QString text = conditions::panelText(line, charset); !text.isEmpty()) panel << text;
    return panel;
}

void readTable(Signals &read, const QString &address, const ConditionMemory &memory, bool walk) {
    if (!read.answered || !(walk || alertTableChanged(read, memory))) return;
    read.alerts = walkAlerts(address, read.deviceIndex);
    read.alertsRead = true;
    read.panel = readPanel(address, read.deviceIndex);
}

// The poll's batch: each printer's status objects asked with every profile it may be asked with.
class StatusBatch {
public:
    explicit StatusBatch(const QList<PollTarget> &targets) : profiles_(store::snmpProfiles()) {
        for (const PollTarget &target : targets) {
            Printer &printer = printers_[target.address];
            printer.read.deviceIndex = target.memory.deviceIndex;
            printer.order = askedProfiles(target.address);
        }
    }

    // Asks every printer not answered yet once, all at once; false when every printer has answered.
    bool round() {
        if (std::all_of(printers_.begin(), printers_.end(), [](const Printer &p) { return p.read.answered; }))
            return false;
        platform::ComponentObject probe = platform::CreateObject(QStringLiteral("quorrel.SnmpV1"));
        probe.set(QStringLiteral("OctetsAsHex"), 1);
        probe.set(QStringLiteral("Retransmit"), 0);
        for (Printer &printer : printers_)
            if (!printer.read.answered) printer.answers.clear();
        for (const store::SnmpProfile &profile : allProfiles()) {
            probe.set(QStringLiteral("CommStr"), profile.community);
            probe.set(QStringLiteral("Version"), profile.version);
            for (const auto &[member, value] : profileMembers(profile)) probe.set(member, value);
            QMap<int, QStringList> byDevice;
            for (auto printer = printers_.begin(); printer != printers_.end(); ++printer)
                if (!printer->read.answered && printer->order.contains(profile.name))
                    byDevice[printer->read.deviceIndex].append(printer.key());
            for (auto group = byDevice.begin(); group != byDevice.end(); ++group) {
                probe.call(QStringLiteral("BatchGet"),
                           {group.value().join(u' '), statusOids(group.key()).join(u';'), profile.name});
            }
        }
        while (true) {
            QList<platform::ComponentArgument> args{{QString(), true}, {QString(), true}, {QString(), true}};
            const QString text = probe.call(QStringLiteral("BatchNext"), args).toString();
            const QString agent = args[0].value.toString();
            if (agent.isEmpty()) break;
            take(agent, args[1].value.toString(), args[2].value.toString(), text);
        }
        return true;
    }

    QHash<QString, Signals> signalsByAddress() const {
        QHash<QString, Signals> read;
        for (auto printer = printers_.begin(); printer != printers_.end(); ++printer)
            read.insert(printer.key(), printer->read);
        return read;
    }

private:
    struct Printer {
        Signals read;
        QStringList order; // the profiles asked, by name
        QMap<QString, QList<std::pair<QString, QString>>> answers; // by profile: OID and text
    };

    QList<store::SnmpProfile> allProfiles() const {
        return profiles_.present ? profiles_.profiles : QList<store::SnmpProfile>{store::SnmpProfile{}};
    }

    // The profile chosen for the printer, else every one that applies to it, in the order a choice tries them.
    QStringList askedProfiles(const QString &address) const {
        if (!profiles_.present) return {store::SnmpProfile{}.name};
        const QString known = knownProfile(address, profiles_);
        QStringList names;
        for (const store::SnmpProfile &profile : trialOrder(address, profiles_))
            if (known.isEmpty() || profile.name.compare(known, Qt::CaseInsensitive) == 0) names << profile.name;
        return names;
    }

    void take(const QString &agent, const QString &oid, const QString &profile, const QString &text) {
        const auto printer = printers_.find(agent);
        if (printer == printers_.end()) return;
        auto &answers = printer->answers[profile];
        answers.append({oid, text});
        if (answers.size() < statusOids(printer->read.deviceIndex).size()) return;
        // Every answer of one profile is in: the first profile whose answers hold a value reads the printer.
        Signals read;
        read.deviceIndex = printer->read.deviceIndex;
        for (const auto &[answeredOid, answer] : answers) takeStatus(read, answeredOid, answer);
        if (!read.answered || printer->read.answered) return;
        printer->read = read;
        if (profiles_.present) choose(agent, profiles_, profile);
    }

    store::SnmpProfiles profiles_;
    QMap<QString, Printer> printers_;
};

} // namespace

int printerDeviceIndex(const QString &address) {
    for (auto [index, type] : walkColumn(address, printermib::DeviceType)) {
        if (type.startsWith(u'.')) type.remove(0, 1);
        if (type == printermib::DevicePrinter) return numberOf(index).value_or(1);
    }
    return 1;
}

bool alertTableChanged(const Signals &read, const ConditionMemory &memory) {
    if (memory.alertsActive || memory.allEvents < 0 || read.allEvents < 0) return true;
    if (read.upTime && memory.upTime && *read.upTime < *memory.upTime) return true;
    return read.allEvents != memory.allEvents || read.criticalEvents != memory.criticalEvents;
}

Signals readConditionSignals(const QString &address, const ConditionMemory &memory, bool walkAlerts, QString *model) {
    Signals read;
    const QString upTime = probeOid(address, printermib::SysUpTime);
    if (!isValue(upTime)) return read; // every agent answers sysUpTime: silence
    read.deviceIndex = memory.deviceIndex > 0 ? memory.deviceIndex : printerDeviceIndex(address);
    const QStringList oids = statusOids(read.deviceIndex);
    takeStatus(read, oids[0], upTime);
    for (const QString &oid : oids.mid(1)) {
        if (oid.startsWith(printermib::DetectedErrorState)) {
            if (const auto octets = probeOctets(address, oid)) read.errorState = *octets;
            continue;
        }
        takeStatus(read, oid, probeOid(address, oid));
    }
    if (model) {
        const QString description = probeOid(address, indexed(printermib::DeviceDescriptions, read.deviceIndex));
        *model = isValue(description) ? description.trimmed() : QString();
    }
    readTable(read, address, memory, walkAlerts);
    return read;
}

QHash<QString, Signals> pollConditionSignals(const QList<PollTarget> &targets) {
    QList<PollTarget> known, unknown;
    for (const PollTarget &target : targets) (target.memory.deviceIndex > 0 ? known : unknown).append(target);
    QHash<QString, Signals> read;
    try {
        StatusBatch batch(known);
        for (int round = 0; round < PollRounds; ++round)
            if (!batch.round()) break;
        read = batch.signalsByAddress();
    } catch (const platform::Fault &) {
        return read; // the library could not be asked: nothing is known of the printers
    }
    for (const PollTarget &target : known) readTable(read[target.address], target.address, target.memory, false);
    for (const PollTarget &target : unknown)
        read.insert(target.address, readConditionSignals(target.address, target.memory));
    return read;
}

} // namespace reading
