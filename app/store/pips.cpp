#include "pips.h"

#include "config.h"
#include "globals.h"
#include "inifile.h"
#include "log.h"
#include "platform/fault.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>

namespace store {
namespace {

const QString KeptSection = QStringLiteral("KeyPoints");
constexpr QChar KeptMark = u'@'; // a key point of its own never starts so: its first field is a number or an OID

// The reference of a kept key point, from its text: two printers of one model share one entry, and an entry changed
// by hand no longer matches its reference.
QString referenceOf(const QString &keyPoint) {
    const QByteArray hash = QCryptographicHash::hash(keyPoint.toUtf8(), QCryptographicHash::Sha256);
    return QString::fromLatin1(hash.toHex().left(16));
}

} // namespace

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

QString PipRecords::keptFile() const { return QFileInfo(iniFile_).dir().filePath(KeyPointsFileName); }

StoredKeyPoint PipRecords::keyPoint(int slot) const {
    const QString value = address(slot);
    if (value.size() == MaxValueLength) { // cut, unless the file holds exactly this
        const auto file = IniFile::load(iniFile_);
        if (!file || file->value(PipsSection, slotKey(slot)) != value)
            return {{}, false, QStringLiteral("reads back cut at %1 characters").arg(MaxValueLength)};
    }
    const QString stored = keyPointOf(value);
    if (!stored.startsWith(KeptMark)) return {stored, false, {}};
    const QString reference = stored.mid(1);
    const auto file = IniFile::load(keptFile());
    const QString kept = file ? file->value(KeptSection, reference).value_or(QString()) : QString();
    if (referenceOf(kept) != reference) return {{}, true, QStringLiteral("is missing from ") + keptFile()};
    return {kept, true, {}};
}

QList<MonitoredPrinter> PipRecords::monitored() const {
    QList<MonitoredPrinter> printers;
    for (int slot = 1; slot <= SlotCount; ++slot) {
        const QString value = address(slot);
        if (value.size() < ShortestAddress) continue;
        const QString host = hostOf(value).trimmed();
        if (std::none_of(printers.begin(), printers.end(), [&](const MonitoredPrinter &p) { return p.host == host; }))
            printers.append({host, description(slot), identity(slot)});
    }
    return printers;
}

QList<MonitoredPrinter> monitoredPrinters() { return PipRecords(globals().iniFile).monitored(); }

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
    QString value = host + u':' + keyPoint;
    if (value.size() > MaxValueLength) {
        const QString reference = referenceOf(keyPoint);
        if (keep(reference, keyPoint)) {
            value = host + u':' + KeptMark + reference;
        } else {
            value = host;
            WriteLog(QStringLiteral("cannot write ") + keptFile() + QStringLiteral(": the key point of ") + host +
                     QStringLiteral(" is searched again at its next reading"));
        }
    }
    write(PipsSection, slot, value);
    write(IdentitySection, slot, identity);
}

// Writes the key points file anew with the key point under its reference and every entry that an address value
// still refers to; the others, left by printers searched again or removed, go.
bool PipRecords::keep(const QString &reference, const QString &keyPoint) const {
    const auto records = IniFile::load(iniFile_);
    const auto kept = IniFile::load(keptFile());
    if (!records || !kept) return false;
    IniFile file = IniFile::parse("; Counter key points too long for the configuration file, written by the program: "
                                  "an address value HOST:@REFERENCE in [Pips] refers to REFERENCE here.\r\n");
    for (const QString &key : records->keys(PipsSection)) {
        const QString stored = keyPointOf(records->value(PipsSection, key).value_or(QString()));
        const QString other = stored.mid(1);
        if (stored.startsWith(KeptMark) && other != reference)
            if (const auto entry = kept->value(KeptSection, other)) file.setValue(KeptSection, other, *entry);
    }
    file.setValue(KeptSection, reference, keyPoint);
    return file.save(keptFile());
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
