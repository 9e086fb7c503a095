// A supply's level as the standard means it (a receptacle's level is the space left; -1, -2, -3 are words; a level
// above the maximum is full), the colour and description of a row, the conditions levels give and how they merge
// with the alert table's, and a maker's supplies section read from the counter maps' file.
#include "reading/countermaps.h"
#include "reading/supplies.h"

#include "support/qtprint.h"

#include <gtest/gtest.h>

using namespace reading::supplies;

namespace {

constexpr int Consumed = 3, Receptacle = 4;
constexpr int TonerType = 3, WasteTonerType = 4, InkCartridgeType = 6, OpcType = 9, FuserType = 15, OtherType = 1;

Row row(int index, int type, int supplyClass, int level, int max, const QByteArray &description = {},
        int colorant = 0) {
    Row read;
    read.index = index;
    read.type = type;
    read.supplyClass = supplyClass;
    read.level = level;
    read.maxCapacity = max;
    read.description = description;
    read.colorantIndex = colorant;
    return read;
}

QString levelText(const Level &level) {
    return (level.percent ? QString::number(*level.percent) + QStringLiteral(" % ") : QString()) + level.state +
           (level.aboveMaximum ? QStringLiteral(" (above its maximum)") : QString());
}

} // namespace

TEST(Supplies, LevelsAreReadAsTheStandardMeansThem) {
    const struct {
        bool receptacle;
        int level, max;
        const char *shown;
    } cases[] = {
        {false, 73, 100, "73 % ok"},
        {false, 150, 100, "100 % ok (above its maximum)"},
        {false, 2000, 20000, "10 % low"},         // at the threshold is low
        {false, 2001, 20000, "10 % ok"},          // just above it is not, whatever the rounding shows
        {false, 1, 20000, "1 % low"},             // anything left never shows 0 %
        {false, 0, 20000, "0 % empty"},
        {false, 0, -2, "empty"},                  // no maximum: no percent, but 0 is still empty
        {false, 480, -2, "ok"},                   // a level in the row's unit
        {false, -1, 100, "no limit"},
        {false, -2, 100, "unknown"},
        {false, -3, 100, "some remaining"},
        {false, -7, 100, "unknown"},
        {true, 0, 100, "100 % full"},             // a receptacle's level is the space left: none is full
        {true, 5, 100, "95 % nearly full"},
        {true, 10, 100, "90 % nearly full"},
        {true, 60, 100, "40 % ok"},
        {true, 1, 1000, "99 % nearly full"},      // any space left never shows 100 %
        {true, 150, 100, "0 % ok (above its maximum)"},
        {true, 0, -2, "full"},
        {true, -3, 100, "some remaining"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(levelText(levelOf(c.receptacle, c.level, c.max, 10)), QString::fromLatin1(c.shown))
            << (c.receptacle ? "receptacle " : "consumed ") << c.level << "/" << c.max;
}

TEST(Supplies, RowsGiveKindColourDescriptionAndSerial) {
    const QMap<int, QString> colorants = {{1, QStringLiteral("Cyan")}, {2, QStringLiteral("unknown")}};
    const struct {
        Row read;
        const char *name, *colour, *description, *serial;
        bool receptacle;
    } cases[] = {
        {row(1, TonerType, Consumed, 50, 100, "Toner", 1), "cyan toner", "cyan", "Toner", "", false},
        {row(2, TonerType, Consumed, 50, 100, "Gelb Tonerkassette", 2), "yellow toner", "yellow",
         "Gelb Tonerkassette", "", false},
        {row(3, OpcType, Consumed, 50, 100, QByteArray("Drum\0\0  ", 8)), "drum", "", "Drum", "", false},
        {row(4, InkCartridgeType, Consumed, 50, 100, "Black Cartridge HP 932 S/N:CN12AB34 "), "black ink cartridge",
         "black", "Black Cartridge HP 932", "CN12AB34", false},
        {row(5, WasteTonerType, 1, 50, 100, "Waste Toner Box"), "waste toner box", "", "Waste Toner Box", "", true},
        {row(6, OtherType, Receptacle, 50, 100, "Maintenance Box"), "Maintenance Box", "", "Maintenance Box", "", true},
        {row(7, OtherType, Consumed, 50, 100, "Imaging Unit Black and Cyan"), "Imaging Unit Black and Cyan", "",
         "Imaging Unit Black and Cyan", "", false},
        {row(8, TonerType, Consumed, 50, 100, "Cartouche noire"), "black toner", "black", "Cartouche noire", "", false},
        {row(9, OtherType, Consumed, 50, 100, "Black and Color Imaging Kit"), "Black and Color Imaging Kit", "",
         "Black and Color Imaging Kit", "", false},
        {row(10, 99, Consumed, 50, 100, ""), "supply 10", "", "", "", false}, // a type the standard does not define
    };
    for (const auto &c : cases) {
        const Supply supply = supplyOf(c.read, colorants, 20, 10);
        EXPECT_EQ(supply.name(), QString::fromUtf8(c.name)) << c.read.index;
        EXPECT_EQ(supply.colour, QString::fromUtf8(c.colour)) << c.read.index;
        EXPECT_EQ(supply.description, QString::fromUtf8(c.description)) << c.read.index;
        EXPECT_EQ(supply.maker.serial, QString::fromUtf8(c.serial)) << c.read.index;
        EXPECT_EQ(supply.receptacle, c.receptacle) << c.read.index;
    }
}

TEST(Supplies, LevelsGiveConditionsThatMergeWithTheAlertTables) {
    const QMap<int, QString> colorants = {{1, QStringLiteral("cyan")}};
    const QList<Supply> supplies = {
        supplyOf(row(1, TonerType, Consumed, 0, 100, "Cyan Toner", 1), colorants, 20, 10),
        supplyOf(row(2, TonerType, Consumed, 15, 100, "Black Toner"), colorants, 20, 10),
        supplyOf(row(3, OpcType, Consumed, 0, 100, "Drum"), colorants, 20, 10),
        supplyOf(row(4, FuserType, Consumed, 8, 100, "Fuser"), colorants, 20, 10),
        supplyOf(row(5, OtherType, Consumed, 0, 100, "Maintenance Kit"), colorants, 20, 10),
        supplyOf(row(6, WasteTonerType, Receptacle, 4, 100, "Waste Toner Box"), colorants, 20, 10),
        supplyOf(row(7, OtherType, Consumed, -3, 100, "Staples"), colorants, 20, 10),
        supplyOf(row(8, FuserType, Consumed, 50, 100, "Fuser 2"), colorants, 20, 10),
        supplyOf(row(9, 0, 0, 0, -2, "Magenta Toner"), colorants, 20, 10), // no type read: toner by its words
    };
    QStringList shown;
    reading::conditions::Signals read;
    read.answered = true;
    read.errorState = QByteArray("\x10", 1); // noToner, without a unit
    reading::conditions::AlertRow drum;
    drum.severity = 3;
    drum.group = 11;
    drum.groupIndex = 3;
    drum.code = 1112; // opcLifeOver
    read.alerts = {drum};
    for (const auto &condition : merged(reading::conditions::conditionsOf(read), conditionsOf(supplies)))
        shown << condition.key() + QStringLiteral(" \"") + condition.text + u'"';
    // The drum's level and its row are one condition, with the row's unit; the bit without a unit takes the level's.
    EXPECT_EQ(shown, (QStringList{"drumEnd:supply 3 \"Drum at end of life: supply 3\"",
                                  "tonerEmpty:cyan \"Toner empty: cyan\"",
                                  "partEnd:Maintenance Kit \"Maintenance Kit at end of life\"",
                                  "tonerEmpty:magenta \"Toner empty: magenta\"",
                                  "tonerLow:black \"Toner low: black\"",
                                  "partLow:fuser \"Fuser near end of life\"",
                                  "wasteNearlyFull \"Waste toner box nearly full\"",
                                  "someRemaining:Staples \"Staples: some remaining\""}));
}

TEST(Supplies, AMakersSuppliesSectionIsReadFromTheCounterMaps) {
    const auto tables = reading::countermaps::parseSupplyTables(
        "[Lexmark]\nEnterprise = 641\n"
        "[Supplies Lexmark]\nTable = 1.3.6.1.4.1.641.6.4.4.1.1\nDescription = 5\nPartNumber = 7 ; part\n"
        "CartridgeTypes = 5 standard, 6 high yield, x\nColour = 4\n"
        "[Supplies Nobody]\nTable = not an oid\n",
        QStringLiteral("maps.ini"));
    ASSERT_EQ(tables.size(), 2);
    EXPECT_EQ(tables[0].maker, QStringLiteral("Lexmark"));
    EXPECT_EQ(tables[0].table, QStringLiteral("1.3.6.1.4.1.641.6.4.4.1.1"));
    EXPECT_EQ(tables[0].description, 5);
    EXPECT_EQ(tables[0].partNumber, 7);
    EXPECT_EQ(tables[0].serial, 0);
    EXPECT_EQ(tables[0].cartridgeTypes.value(6), QStringLiteral("high yield"));
    EXPECT_EQ(tables[0].leftOut.size(), 2) << tables[0].leftOut.join(u'\n'); // "x" and the unknown key
    EXPECT_EQ(reading::countermaps::supplyTableOf(tables, QStringLiteral("lexmark")), &tables[0]);
    EXPECT_EQ(reading::countermaps::supplyTableOf(tables, QStringLiteral("Nobody")), nullptr) << "no whole Table";
    EXPECT_TRUE(reading::countermaps::parse("[Supplies Lexmark]\nTable = 1.2.3\n", {}).isEmpty())
        << "a supplies section is no counter map";
}
