#include "pips.h"

#include "config.h"
#include "platform/fault.h"

#include <QStringList>

namespace store {

QString slotKey(int slot) { return QStringLiteral("pip%1").arg(slot, 3, 10, QLatin1Char('0')); }

QString hostOf(const QString &addressValue) { return addressValue.section(QLatin1Char(':'), 0, 0); }

QString keyPointOf(const QString &addressValue) {
    const qsizetype colon = addressValue.indexOf(QLatin1Char(':'));
    return colon < 0 ? QString() : addressValue.mid(colon + 1);
}

PipRecords::PipRecords(QString iniFile) : iniFile_(std::move(iniFile)) {}

QString PipRecords::read(const QString &section, int slot) const { return ReadIniValue(iniFile_, section, slotKey(slot)); }

void PipRecords::write(const QString &section, int slot, const QString &value) const {
    WriteIniValue(iniFile_, section, slotKey(slot), value);
}

QString PipRecords::address(int slot) const { return read(PipsSection, slot); }
QString PipRecords::description(int slot) const { return read(InfoSection, slot); }
QString PipRecords::identity(int slot) const { return read(IdentitySection, slot); }

int PipRecords::firstFreeSlot() const {
    for (int slot = 1; slot <= SlotCount; ++slot)
        if (address(slot).isEmpty()) return slot;
    return 0;
}

int PipRecords::lastUsedSlot() const {
    for (int slot = SlotCount; slot >= 1; --slot)
        if (!address(slot).isEmpty()) return slot;
    return 0;
}

void PipRecords::store(int slot, const QString &address, const QString &description) {
    const auto orBlank = [](const QString &field) { return field.trimmed().isEmpty() ? BlankField : field; };
    write(PipsSection, slot, orBlank(address));
    write(InfoSection, slot, orBlank(description));
}

void PipRecords::remove(int slot) {
    const int last = lastUsedSlot();
    if (last < slot) return;
    for (int later = slot + 1; later <= last; ++later) {
        write(PipsSection, later - 1, address(later));
        write(InfoSection, later - 1, description(later));
    }
    write(PipsSection, last, QString());
    write(InfoSection, last, QString());
}

void PipRecords::reset(int slot, const QString &host) { write(PipsSection, slot, host); }

void PipRecords::attachKeyPoint(int slot, const QString &host, const QString &keyPoint, const QString &identity) {
    write(PipsSection, slot, host + QLatin1Char(':') + keyPoint);
    write(IdentitySection, slot, identity);
}

std::optional<QList<DownloadedRecord>> parseDownloadedList(const QString &reply) {
    if (!reply.contains(QLatin1Char('|'))) return std::nullopt;
    QList<DownloadedRecord> stored;
    const QStringList records = reply.split(QLatin1Char('|'));
    for (qsizetype k = 0; k < records.size(); ++k) {
        if (records[k].size() < ShortestAddress) continue;
        const QStringList fields = records[k].split(QChar(u'§'));
        stored.append({static_cast<int>(k) + 1, fields[0], fields.size() > 1 ? std::optional(fields[1]) : std::nullopt});
    }
    return stored;
}

bool PipRecords::storeDownloadedList(const QString &reply) {
    const auto records = parseDownloadedList(reply);
    if (!records) return false;
    for (const DownloadedRecord &record : *records) {
        write(PipsSection, record.slot, record.host);
        if (!record.description) throw platform::Fault(9, QStringLiteral("Subscript out of range"));
        write(InfoSection, record.slot, *record.description);
    }
    return true;
}

} // namespace store
