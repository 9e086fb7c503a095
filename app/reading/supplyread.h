// Reading every supply of a printer: the supplies table walked by its columns through one session (GetBulk where the
// printer's profile is version 2c or 3) under the printer's device index, the colorant values its rows point at, and,
// where the counter maps name a supplies table of the printer's maker, the part and serial numbers it keeps. Quiet
// and outside the readings' fault rule, as the condition read: a printer that does not answer is no fault.
#pragma once

#include "supplies.h"

#include <QDateTime>
#include <QList>
#include <QString>

namespace reading {

struct SuppliesRead {
    bool answered = false;
    int deviceIndex = 0; // where the rows were found
    QList<supplies::Supply> supplies; // in the table's order, at most printermib::SupplyRowLimit
};

// The thresholds in effect: toner and ink by meterlane.ini's TonerLow as the readings use it, other supplies by
// alerts.ini's PartsLow.
int tonerLowPercent();
int partsLowPercent();

// A printer's condition read now to be shown (status HOST, the Supplies and status view): the status signals with the
// whole alert table and hrDeviceDescr, the supplies, and the conditions of both as one list, without those alerts.ini
// mutes at the address, each with since when host's remembered condition holds it (invalid otherwise).
struct ConditionNow {
    conditions::Signals observed;
    QString model;
    SuppliesRead supplies;
    struct Shown {
        conditions::Condition condition;
        QDateTime since;
    };
    QList<Shown> conditions;
};
ConditionNow readConditionNow(const QString &host, const QString &address);

// Reads the printer's supplies now. deviceIndex: the printer's device index where known, else 0 (found as the
// condition read finds it). Rows under another device index are read where none are under the printer's.
SuppliesRead readSupplies(const QString &address, int deviceIndex = 0);

} // namespace reading
