// What a printer's history says: pages per day, week or month from the differences of its totals, and how many days
// each supply has left from the slope of its levels. Pure: the rows come from the history store.
#pragma once

#include "history.h"

#include <QDate>
#include <QList>
#include <QMap>
#include <QString>

#include <optional>

namespace store {

enum class Period { Day, Week, Month };

// "2026-12-09", "2026-W50", "2026-12"; and the period's first day.
QString periodName(Period by, const QDate &day);
QDate periodStart(Period by, const QDate &day);
QDate nextPeriodStart(Period by, const QDate &start);

struct Usage {
    QString host;
    QDate start; // the period's first day (UTC)
    QString period;
    qint64 blackAndWhite = 0, colour = 0;
    bool complete = false; // readings of one series at or before its start and at or after its end
};

// The pages of one printer's readings (any order) per period from since (invalid: its first reading) to its last
// reading. A total that drops, or another identity at the address, starts a new series: a period's pages are those of
// each series within it, never negative and never the jump between them. Between readings the totals are taken as
// growing evenly.
QList<Usage> usageOf(const QList<ReadingEntry> &readings, Period by, const QDate &since = {});

// Days until a consumed supply is empty, or a receptacle full, from its stored levels (any order): the least-squares
// slope of the levels of its current life (a consumed supply's level that rises, or a receptacle's fill that drops,
// starts a new one), once that life holds two distinct levels at least 14 days apart. Nothing ("not yet known")
// otherwise, or where the level does not move towards its end.
std::optional<int> daysLeft(const QList<SupplyEntry> &levels, const QDateTime &now);

constexpr int LeastDaysForDaysLeft = 14;

// daysLeft of each supply of one printer's stored levels, by the supply's index.
QMap<int, std::optional<int>> daysLeftBySupply(const QList<SupplyEntry> &levels, const QDateTime &now);

// "about 12 days left", "about 12 days to full" (a receptacle), "not yet known".
QString daysLeftText(const std::optional<int> &days, bool receptacle);

} // namespace store
