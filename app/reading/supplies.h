// Every supply of a printer as its supplies table (prtMarkerSuppliesTable, RFC 3805) gives it: kind and class, colour,
// description, level and maximum, read the way the standard means them, and the conditions the levels give. A
// consumed supply's level is what is left; a receptacle's (a waste toner box) is the space left in it, so its fill is
// the rest. -1, -2 and -3 are words, never numbers. Pure: nothing here asks a printer.
#pragma once

#include "conditions.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <optional>

namespace reading::supplies {

// One row of the supplies table as read; the numbers the standard names, 0 where a column was not read.
struct Row {
    int index = 0; // the supply's index after the device index
    int colorantIndex = 0, supplyClass = 0, type = 0, unit = 0;
    QByteArray description; // the octets as the printer gives them
    std::optional<int> maxCapacity, level;
};

// What a maker's own supplies table adds to a row (part and serial number, cartridge type, pages at install).
struct MakerDetails {
    QString serial, partNumber, cartridgeType;
    std::optional<qint64> pagesAtInstall;
};

// The states a level is in, as the command line's JSON names them.
inline const QString Ok = QStringLiteral("ok"), Low = QStringLiteral("low"), Empty = QStringLiteral("empty"),
                     Full = QStringLiteral("full"), NearlyFull = QStringLiteral("nearly full"),
                     Unknown = QStringLiteral("unknown"), NoLimit = QStringLiteral("no limit"),
                     SomeRemaining = QStringLiteral("some remaining");

struct Level {
    std::optional<int> percent; // what is left of a consumed supply, how full a receptacle is; none without a maximum
    QString state;
    bool aboveMaximum = false; // the printer gave a level above its maximum: counted at the maximum
};

// The level rules. lowPercent: at or below it a consumed supply is low, and a receptacle with that much space left or
// less is nearly full (0: never low). A consumed supply is empty only at level 0, a receptacle full only at space 0.
Level levelOf(bool receptacle, int level, int maxCapacity, int lowPercent);

struct Supply {
    int index = 0;
    int type = 0;         // PrtMarkerSuppliesTypeTC
    QString kind;         // the standard's name in words: "toner", "waste toner", "drum (opc)", ...
    bool receptacle = false;
    QString colour;       // "cyan", ...; empty: none, or not named
    QString description;  // as the printer gives it, without NUL bytes, trailing blanks and a trailing serial number
    QString unit;         // "impressions", "percent", ...; empty where the printer names none
    int level = -2, maxCapacity = -2;
    Level fill;
    MakerDetails maker;
    bool partLike = false; // a part that wears (drum, fuser, kit, transfer unit ...): it ends its life, not empties
    bool tonerOrInk = false; // by its type, or by its description where the type says nothing

    // The supply in words for a condition or a list: "cyan drum", "waste toner box", "Maintenance Kit".
    QString name() const;
};

// The supply of a row: colorants maps a colorant index to prtMarkerColorantValue. tonerLowPercent applies to toner and
// ink, partsLowPercent to every other supply (and to the space left in a receptacle).
Supply supplyOf(const Row &row, const QMap<int, QString> &colorants, int tonerLowPercent, int partsLowPercent);

// The colour a supply is for: the colorant's value where it has one, else the one colour its description names
// (black, cyan, magenta or yellow, in English, German, French, Spanish or Italian), else none.
QString colourOf(const QString &colorantValue, const QString &description);

// The description's text (UTF-8 where it is UTF-8, else Windows-1252), NUL bytes and trailing blanks removed, and a
// trailing serial number (" S/N:...") split off into serial.
QString descriptionOf(const QByteArray &octets, QString *serial = nullptr);

// The conditions the supplies' levels give: a consumed supply empty (critical), low (warning) or with some remaining
// (notice); a receptacle full (critical) or nearly full (warning). Toner and ink use the toner kinds the alert table
// uses, so that a row and a level saying the same thing are one condition.
QList<conditions::Condition> conditionsOf(const QList<Supply> &supplies);

// The conditions of the status signals and of the supplies as one list, worst first: a condition of both is one.
QList<conditions::Condition> merged(QList<conditions::Condition> fromSignals,
                                    const QList<conditions::Condition> &fromSupplies);

} // namespace reading::supplies
