// A printer's history as any store may hold it, rows in any order, totals and levels of any value: usage is never
// negative and covers each period once, and days left is never negative.
#include "check.h"
#include "store/usage.h"

#include <cstdint>

using fuzz::check;
using namespace store;

namespace {

qint64 numberAt(const QByteArray &bytes, qsizetype at, int size) {
    qint64 number = 0;
    for (int i = 0; i < size && at + i < bytes.size(); ++i) number = number << 8 | static_cast<unsigned char>(bytes[at + i]);
    return number;
}

const QDateTime Origin(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC);

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    QList<ReadingEntry> readings;
    QList<SupplyEntry> levels;
    for (qsizetype at = 0; at + 8 <= bytes.size() && readings.size() < 200; at += 8) {
        ReadingEntry reading;
        reading.time = Origin.addSecs(numberAt(bytes, at, 3) * 60); // up to some 30 years of minutes
        reading.identity = QString::number(numberAt(bytes, at + 3, 1) % 3);
        reading.blackAndWhite = numberAt(bytes, at + 4, 2);
        reading.colour = numberAt(bytes, at + 6, 1);
        readings << reading;
        SupplyEntry level;
        level.time = reading.time;
        level.receptacle = bytes[at] & 1;
        if (bytes[at + 7] != 'x') level.percent = int(numberAt(bytes, at + 7, 1) % 101);
        levels << level;
    }
    const Period by = Period(size % 3);
    qsizetype periods = 0;
    QString previous;
    for (const Usage &usage : usageOf(readings, by)) {
        check(usage.blackAndWhite >= 0 && usage.colour >= 0);
        check(usage.period > previous && usage.period == periodName(by, usage.start));
        previous = usage.period;
        ++periods;
    }
    check(readings.isEmpty() == (periods == 0));
    const std::optional<int> days = daysLeft(levels, Origin.addYears(1));
    check(!days || *days >= 0);
    return 0;
}
