// The monitored printer records ("pips"): numbered slots pip001 to pip200, each with an address value in section
// "pips" (host, optionally ":" and the counter key point), a description in "pipsinfo" and the identity read from
// the printer in "pips_ID", all kept in the configuration file.
//
// Slots are meant to follow one another without gaps, but a file edited by hand or a downloaded list with short
// entries can leave empty slots between records. Nothing is lost to such a gap: every row of the list carries the
// slot it shows, the "[new]" row stands for the first empty slot, and a removal moves every later record, gaps
// included, down by one.
#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace store {

constexpr int SlotCount = 200;
// The shortest address value a read-and-send cycle handles (the length of 1.1.1.1).
constexpr int ShortestAddress = 7;
// What the printer dialog stores for a field left blank.
inline const QString BlankField = QStringLiteral("----");

inline const QString PipsSection = QStringLiteral("pips");
inline const QString InfoSection = QStringLiteral("pipsinfo");
inline const QString IdentitySection = QStringLiteral("pips_ID");

// "pip" and the slot number in three digits: slotKey(7) is "pip007".
QString slotKey(int slot);

// The host of an address value (the text before its first ":") and its counter key point (the text after it).
QString hostOf(const QString &addressValue);
QString keyPointOf(const QString &addressValue);

// A key point that would make its address value longer than the configuration file reads back whole is kept in this
// file beside it, under a reference made from its text; the address value holds "@" and the reference instead.
inline const QString KeyPointsFileName = QStringLiteral("key-points.ini");

// The key point stored with a record, as a reading takes it.
struct StoredKeyPoint {
    QString keyPoint; // whole, as the search found it; empty when there is none or a problem
    bool kept = false; // it lives in the key points file
    QString problem;  // why the stored key point cannot be used: it reads back cut, or its entry is missing
};

// One record of the service's printer list and the slot it goes to.
struct DownloadedRecord {
    int slot;
    QString host;
    std::optional<QString> description; // missing when the record holds no "§"
};

// The records of the service's list that are stored ("|" between records, host "§" description; record k goes to
// slot k + 1 when it has at least 7 characters); nothing when the text holds no "|".
std::optional<QList<DownloadedRecord>> parseDownloadedList(const QString &reply);

// A printer the cycles read: its host as the first slot naming it gives it, and that slot's description.
struct MonitoredPrinter {
    QString host, description, identity;
};

// The printers of the program's configuration file (PipRecords::monitored).
QList<MonitoredPrinter> monitoredPrinters();

class PipRecords {
public:
    explicit PipRecords(QString iniFile);

    QString address(int slot) const;
    QString description(int slot) const;
    QString identity(int slot) const;
    // The key point of the slot's address value, read back whole from wherever it was stored.
    StoredKeyPoint keyPoint(int slot) const;

    // Every printer the cycles read, once per host (several slots may name one), in slot order.
    QList<MonitoredPrinter> monitored() const;

    // The first slot whose address value is empty; 0 when all are taken.
    int firstFreeSlot() const;

    // Address and description as typed; a blank field is stored as "----". The identity stays.
    void store(int slot, const QString &address, const QString &description);
    // Moves every later record (address and description) down by one and empties the last one.
    void remove(int slot);
    // Drops the key point: the address value becomes the host alone.
    void reset(int slot, const QString &host);
    // Stores host ":" key point, or host ":@" and a reference where the key points file keeps a key point too long
    // for the address value; then the identity. When the key points file cannot be written, the address value stays
    // the host alone (the next reading searches again), with a log line.
    void attachKeyPoint(int slot, const QString &host, const QString &keyPoint, const QString &identity);
    // The service's list: records separated by "|", host "§" description; record k goes to slot k + 1 when it has
    // at least 7 characters. False when the text holds no "|" (nothing stored). A record without "§" is stored as
    // its address value and then raises platform::Fault 9: its description is missing.
    bool storeDownloadedList(const QString &reply);

private:
    QString read(const QString &section, int slot) const;
    void write(const QString &section, int slot, const QString &value) const;
    int lastUsedSlot() const;
    QString keptFile() const;
    bool keep(const QString &reference, const QString &keyPoint) const;

    QString iniFile_;
};

} // namespace store
