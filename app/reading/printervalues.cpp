#include "printervalues.h"

#include "countermaps.h"
#include "oidreader.h"

#include <QRegularExpression>

#include <limits>

namespace reading {
namespace {

// A type column longer than this is no table of counters: the walk stops there.
constexpr int MaxTableRows = 256;
constexpr char RecordMark = 0x01, EndOfRecords = char(0xFF);

// What a counter answers; a failed read (ReadFailed, itself a number) answers nothing.
bool isWholeNumber(const QString &text) {
    static const QRegularExpression number(QStringLiteral("^[+-]?[0-9]+$"));
    return text != ReadFailed && number.match(text).hasMatch();
}

} // namespace

std::optional<QMap<int, quint64>> packedRecords(const QByteArray &bytes) {
    QMap<int, quint64> records;
    for (qsizetype at = 0; at < bytes.size() && bytes[at] != EndOfRecords;) {
        if (bytes.size() - at < 3) break; // a record cut short
        if (bytes[at + 1] != RecordMark) return std::nullopt;
        const int length = static_cast<unsigned char>(bytes[at + 2]);
        if (length > 8) return std::nullopt;
        if (bytes.size() - at - 3 < length) break;
        quint64 value = 0;
        for (int i = 0; i < length; ++i) value = value << 8 | static_cast<unsigned char>(bytes[at + 3 + i]);
        records.insert(static_cast<unsigned char>(bytes[at]), value); // a code given twice: the last one
        at += 3 + length;
    }
    return records;
}

PrinterValues::PrinterValues(QString host) : host_(std::move(host)) {}

QString PrinterValues::value(const QString &oid) {
    if (!values_.contains(oid)) values_.insert(oid, probeOid(host_, oid));
    return values_.value(oid);
}

std::optional<CounterAnswer> PrinterValues::counter(const QString &candidate) {
    if (countermaps::packedRecord(candidate)) return packedCounter(candidate);
    if (countermaps::rowSum(candidate)) return summedCounter(candidate);
    QString oid = candidate;
    if (const auto row = countermaps::tableRow(candidate)) {
        oid.clear();
        for (const auto &[index, type] : column(row->typeColumn))
            if (type == row->type) {
                oid = row->valueColumn + u'.' + index;
                break;
            }
        if (oid.isEmpty()) return std::nullopt;
    }
    const QString text = value(oid);
    if (!isWholeNumber(text)) return std::nullopt;
    return CounterAnswer{oid, text, {}};
}

std::optional<CounterAnswer> PrinterValues::packedCounter(const QString &candidate) {
    const countermaps::PackedRecord record = *countermaps::packedRecord(candidate);
    if (!octets_.contains(record.oid)) octets_.insert(record.oid, probeOctets(host_, record.oid));
    const std::optional<QByteArray> &bytes = octets_[record.oid];
    const auto records = bytes ? packedRecords(*bytes) : std::nullopt;
    if (!records || !records->contains(record.code)) return std::nullopt;
    const QString value = QString::number(records->value(record.code));
    const QString code = QStringLiteral("%1").arg(record.code, 2, 16, QLatin1Char('0')).toUpper();
    return CounterAnswer{candidate, value, {QStringLiteral("record %1 = %2").arg(code, value)}};
}

std::optional<CounterAnswer> PrinterValues::summedCounter(const QString &candidate) {
    const countermaps::RowSum sum = *countermaps::rowSum(candidate);
    // The rows whose every filter column reads its number, found anew at each reading: rows come as paper sizes do.
    QStringList rows;
    for (qsizetype i = 0; i < sum.filters.size(); ++i) {
        const auto &[filterColumn, numbers] = sum.filters[i];
        QStringList matching;
        for (const auto &[index, read] : column(filterColumn))
            if (numbers.contains(read) && (i == 0 || rows.contains(index))) matching << index;
        rows = matching;
    }
    if (rows.isEmpty()) return std::nullopt;
    CounterAnswer answer{countermaps::keyPointField(candidate), {}, {}};
    qint64 total = 0;
    for (const QString &row : rows) {
        const QString oid = sum.valueColumn + u'.' + row, text = value(oid);
        if (!isWholeNumber(text)) return std::nullopt;
        total += text.toLongLong();
        answer.parts << oid + QStringLiteral(" = ") + text;
    }
    answer.value = QString::number(total);
    return answer;
}

const QList<std::pair<QString, QString>> &PrinterValues::column(const QString &column) {
    if (columns_.contains(column)) return columns_[column];
    QList<std::pair<QString, QString>> &rows = columns_[column];
    const QString prefix = column + u'.';
    QString at = column;
    while (rows.size() < MaxTableRows) {
        QString next;
        const QString read = probeNextOid(host_, at, next);
        if (read == ReadFailed || !next.startsWith(prefix) || next == at) break;
        rows.append({next.mid(prefix.size()), read});
        values_.insert(next, read);
        at = next;
    }
    return rows;
}

} // namespace reading
