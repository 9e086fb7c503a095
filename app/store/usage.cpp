#include "usage.h"

#include <algorithm>
#include <cmath>

namespace store {
namespace {

// A rise of a consumed supply's level (or a fall of a receptacle's fill) by more than this many points is a new
// cartridge (or an emptied box); less is the sensor's wobble.
constexpr int NewLifeChange = 10;

QDateTime startOf(const QDate &day) { return QDateTime(day, QTime(0, 0), Qt::UTC); }

// Readings of one printer in a row with one identity whose totals never drop.
using Series = QList<ReadingEntry>;

QList<Series> seriesOf(QList<ReadingEntry> readings) {
    std::stable_sort(readings.begin(), readings.end(),
                     [](const ReadingEntry &a, const ReadingEntry &b) { return a.time < b.time; });
    QList<Series> found;
    for (const ReadingEntry &reading : readings) {
        const bool continues = !found.isEmpty() && found.last().last().identity == reading.identity &&
                               reading.blackAndWhite >= found.last().last().blackAndWhite &&
                               reading.colour >= found.last().last().colour;
        if (!continues) found.append(Series());
        found.last().append(reading);
    }
    return found;
}

// A series' totals at time, taken as growing evenly between its readings; time within the series' span.
std::pair<double, double> totalsAt(const Series &series, const QDateTime &time) {
    const auto after = std::lower_bound(series.begin(), series.end(), time,
                                        [](const ReadingEntry &reading, const QDateTime &t) { return reading.time < t; });
    if (after == series.begin()) return {double(after->blackAndWhite), double(after->colour)};
    if (after == series.end()) return {double(series.last().blackAndWhite), double(series.last().colour)};
    const ReadingEntry &before = *std::prev(after);
    const double span = double(before.time.msecsTo(after->time));
    const double share = span > 0 ? double(before.time.msecsTo(time)) / span : 1.0;
    return {before.blackAndWhite + share * double(after->blackAndWhite - before.blackAndWhite),
            before.colour + share * double(after->colour - before.colour)};
}

// Totals rounded where they are taken, so that the periods of a series add up to its whole growth.
qint64 pagesBetween(double from, double to) { return std::llround(to) - std::llround(from); }

} // namespace

QString periodName(Period by, const QDate &day) {
    switch (by) {
    case Period::Day: return day.toString(QStringLiteral("yyyy-MM-dd"));
    case Period::Week: {
        int year = 0;
        const int week = day.weekNumber(&year);
        return QStringLiteral("%1-W%2").arg(year).arg(week, 2, 10, QLatin1Char('0'));
    }
    case Period::Month: return day.toString(QStringLiteral("yyyy-MM"));
    }
    return {};
}

QDate periodStart(Period by, const QDate &day) {
    switch (by) {
    case Period::Day: return day;
    case Period::Week: return day.addDays(1 - day.dayOfWeek());
    case Period::Month: return QDate(day.year(), day.month(), 1);
    }
    return day;
}

QDate nextPeriodStart(Period by, const QDate &start) {
    switch (by) {
    case Period::Day: return start.addDays(1);
    case Period::Week: return start.addDays(7);
    case Period::Month: return start.addMonths(1);
    }
    return start.addDays(1);
}

QList<Usage> usageOf(const QList<ReadingEntry> &readings, Period by, const QDate &since) {
    QList<Usage> periods;
    const QList<Series> series = seriesOf(readings);
    if (series.isEmpty()) return periods;
    const QDate first = since.isValid() ? since : series.first().first().time.date();
    const QDateTime last = series.last().last().time;
    for (QDate start = periodStart(by, first); startOf(start) <= last; start = nextPeriodStart(by, start)) {
        const QDateTime from = startOf(start), to = startOf(nextPeriodStart(by, start));
        Usage usage{series.first().first().host, start, periodName(by, start)};
        for (const Series &run : series) {
            const QDateTime a = std::max(from, run.first().time), b = std::min(to, run.last().time);
            if (a >= b) continue;
            const auto [bwFrom, colourFrom] = totalsAt(run, a);
            const auto [bwTo, colourTo] = totalsAt(run, b);
            usage.blackAndWhite += pagesBetween(bwFrom, bwTo);
            usage.colour += pagesBetween(colourFrom, colourTo);
            usage.complete = usage.complete || (run.first().time <= from && run.last().time >= to);
        }
        periods << usage;
    }
    return periods;
}

std::optional<int> daysLeft(const QList<SupplyEntry> &levels, const QDateTime &now) {
    QList<SupplyEntry> known;
    for (const SupplyEntry &level : levels)
        if (level.percent) known << level;
    if (known.isEmpty()) return std::nullopt;
    std::stable_sort(known.begin(), known.end(),
                     [](const SupplyEntry &a, const SupplyEntry &b) { return a.time < b.time; });
    const bool receptacle = known.last().receptacle;
    // The current life: from the last new cartridge (or emptied box) on.
    qsizetype begin = 0;
    for (qsizetype i = 1; i < known.size(); ++i) {
        const int change = *known[i].percent - *known[i - 1].percent;
        if (receptacle ? change < -NewLifeChange : change > NewLifeChange) begin = i;
    }
    const QList<SupplyEntry> life = known.mid(begin);
    const auto days = [&](const QDateTime &time) { return double(life.first().time.msecsTo(time)) / 86'400'000.0; };
    const bool distinct = std::any_of(life.begin(), life.end(),
                                      [&](const SupplyEntry &level) { return *level.percent != *life.first().percent; });
    if (!distinct || days(life.last().time) < LeastDaysForDaysLeft) return std::nullopt;
    // The least-squares slope of the level, in points a day.
    double sumX = 0, sumY = 0, sumXY = 0, sumXX = 0;
    for (const SupplyEntry &level : life) {
        const double x = days(level.time), y = *level.percent;
        sumX += x, sumY += y, sumXY += x * y, sumXX += x * x;
    }
    const double n = double(life.size());
    const double slope = (n * sumXY - sumX * sumY) / (n * sumXX - sumX * sumX);
    const double towardsEnd = receptacle ? slope : -slope;
    if (!(towardsEnd > 0)) return std::nullopt;
    const double left = receptacle ? 100 - *life.last().percent : *life.last().percent;
    const double since = double(life.last().time.msecsTo(now)) / 86'400'000.0;
    return int(std::max(0.0, std::round(left / towardsEnd - since)));
}

QMap<int, std::optional<int>> daysLeftBySupply(const QList<SupplyEntry> &levels, const QDateTime &now) {
    QMap<int, QList<SupplyEntry>> bySupply;
    for (const SupplyEntry &level : levels) bySupply[level.index] << level;
    QMap<int, std::optional<int>> days;
    for (auto supply = bySupply.begin(); supply != bySupply.end(); ++supply)
        days.insert(supply.key(), daysLeft(*supply, now));
    return days;
}

QString daysLeftText(const std::optional<int> &days, bool receptacle) {
    if (!days) return QStringLiteral("not yet known");
    return QStringLiteral("about %1 %2 %3").arg(*days).arg(*days == 1 ? "day" : "days", receptacle ? "to full" : "left");
}

} // namespace store
