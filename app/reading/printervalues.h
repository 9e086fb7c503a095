// What a printer answers, each OID read and each table column walked at most once: one object serves one key point
// search or one reading, so that the candidates of several slots that name the same OID (the records of one packed
// string, the columns of one table) cost one request. It reads the counter that a counter map's candidate names.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

namespace reading {

// The records of a packed OCTET STRING, code → value: each record is its code (1 byte), 0x01, its length (1 byte) and
// its value (that many bytes, big-endian, unsigned), the records ended by 0xFF or the string's end; a record cut short
// ends them. Nothing for a string that is no such sequence (a record without its 0x01, a value longer than 8 bytes):
// none of its numbers is trusted.
std::optional<QMap<int, quint64>> packedRecords(const QByteArray &bytes);

// A counter a candidate names.
struct CounterAnswer {
    QString field;     // what a key point holds to read it again: a whole OID (a table's row found), a packed record
                       // or a sum
    QString value;     // a whole number
    QStringList parts; // where a packed record or a sum comes from: "record 01 = 9", "OID = 9" a row
};

class PrinterValues {
public:
    explicit PrinterValues(QString host);

    // The value text at oid (quiet: a printer may lack it); ReadFailed when it could not be read.
    QString value(const QString &oid);
    // The counter a candidate of any kind names; nothing where it answers no whole number: a failed read, no row of
    // a table that matches, a packed string that does not parse or lacks the code.
    std::optional<CounterAnswer> counter(const QString &candidate);

private:
    std::optional<CounterAnswer> packedCounter(const QString &candidate);
    std::optional<CounterAnswer> summedCounter(const QString &candidate);
    // The rows of a column (index after the column, value), walked with get-next until the printer answers an OID
    // outside it (or nothing).
    const QList<std::pair<QString, QString>> &column(const QString &column);

    QString host_;
    QHash<QString, QString> values_;
    QHash<QString, std::optional<QByteArray>> octets_;
    QHash<QString, QList<std::pair<QString, QString>>> columns_;
};

} // namespace reading
