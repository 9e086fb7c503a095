// The reading history: what a reading stores and reads back, a supply's level stored once while it stays, how pruning
// thins old days and drops old years, the store under faults (a full disk, a file that is no database, a reader
// beside a writer), and the usage and days left computed from what it holds.
#include "store/history.h"
#include "store/usage.h"

#include "support/fulldisk.h"
#include "support/qtprint.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace store;

namespace {

const QDateTime Start(QDate(2026, 1, 1), QTime(6, 0), Qt::UTC);

ReadingEntry reading(const QDateTime &time, qint64 blackAndWhite, qint64 colour, const QString &identity = "E1",
                     const QString &host = "127.0.0.5") {
    ReadingEntry entry;
    entry.time = time;
    entry.host = host;
    entry.identity = identity;
    entry.model = "MP C3003";
    entry.blackAndWhite = blackAndWhite;
    entry.colour = colour;
    return entry;
}

SupplyEntry level(const QDateTime &time, std::optional<int> percent, bool receptacle = false) {
    SupplyEntry entry;
    entry.time = time;
    entry.host = "127.0.0.5";
    entry.index = receptacle ? 9 : 1;
    entry.kind = receptacle ? "waste toner" : "toner";
    entry.receptacle = receptacle;
    entry.percent = percent;
    entry.state = "ok";
    return entry;
}

QStringList usageText(const QList<Usage> &usage) {
    QStringList shown;
    for (const Usage &period : usage)
        shown << QStringLiteral("%1 %2/%3%4")
                     .arg(period.period)
                     .arg(period.blackAndWhite)
                     .arg(period.colour)
                     .arg(period.complete ? "" : " estimated");
    return shown;
}

} // namespace

TEST(History, AReadingIsStoredWithItsSuppliesConditionsAndUploadAndReadBack) {
    QTemporaryDir folder;
    History history(folder.path());
    ASSERT_TRUE(history.isOpen()) << history.failure();
    ReadingRecord record;
    record.reading = reading(Start, 1000, 200);
    record.reading.printBlackAndWhite = 700;
    record.supplies = {level(Start, 80), level(Start, std::nullopt, true)};
    record.raised = {{"127.0.0.5", "jam:tray 2", "jam", "Paper jam: tray 2", 3, Start.addSecs(-300), {}}};
    ASSERT_GT(history.record(record), 0) << history.failure();
    EXPECT_TRUE(history.setUpload("127.0.0.5", Start, Upload::Waiting));
    EXPECT_FALSE(history.setUpload("127.0.0.5", Start.addSecs(1), Upload::Accepted)) << "no reading at that time";

    // The same level the same day is not stored again; a changed one is, and the next day's first.
    record.reading = reading(Start.addSecs(3600), 1100, 210);
    record.supplies = {level(Start.addSecs(3600), 80), level(Start.addSecs(3600), 20, true)};
    record.raised.clear();
    record.cleared = {{"127.0.0.5", "jam:tray 2", {}, {}, 0, {}, Start.addSecs(3600)}};
    ASSERT_GT(history.record(record), 0);
    record.reading = reading(Start.addDays(1), 1200, 220);
    record.supplies = {level(Start.addDays(1), 80)};
    record.cleared.clear();
    ASSERT_GT(history.record(record), 0);

    History reader(folder.path(), /*readOnly*/ true);
    const QList<ReadingEntry> readings = reader.readings("127.0.0.5");
    ASSERT_EQ(readings.size(), 3);
    EXPECT_EQ(readings[0].time, Start);
    EXPECT_EQ(readings[0].upload, Upload::Waiting);
    EXPECT_EQ(readings[0].printBlackAndWhite, 700);
    EXPECT_EQ(readings[0].copyColour, -1);
    EXPECT_EQ(readings[2].blackAndWhite, 1200);
    EXPECT_EQ(reader.readings("127.0.0.5", Start.addSecs(1), Start.addSecs(7200)).size(), 1);
    QStringList supplies;
    for (const SupplyEntry &entry : reader.supplies("127.0.0.5"))
        supplies << QStringLiteral("%1 %2 %3").arg(entry.time.toString(Qt::ISODate)).arg(entry.index)
                        .arg(entry.percent ? QString::number(*entry.percent) : "none");
    EXPECT_EQ(supplies, (QStringList{"2026-01-01T06:00:00Z 1 80", "2026-01-01T06:00:00Z 9 none",
                                     "2026-01-01T07:00:00Z 9 20", "2026-01-02T06:00:00Z 1 80"}));
    const QList<ConditionEntry> conditions = reader.conditions("127.0.0.5");
    ASSERT_EQ(conditions.size(), 1);
    EXPECT_EQ(conditions[0].text, "Paper jam: tray 2");
    EXPECT_EQ(conditions[0].cleared, Start.addSecs(3600));
    EXPECT_EQ(reader.hosts(), QStringList{"127.0.0.5"});
}

// Past 90 days a printer keeps the day's last reading, and a supply the day's last level where it changed.
TEST(History, PruningKeepsEachDaysLastReadingPast90DaysAndNothingPastFiveYears) {
    QTemporaryDir folder;
    History history(folder.path());
    const QDateTime now = Start.addYears(6);
    const QDateTime old = now.addDays(-100), ancient = now.addYears(-5).addDays(-1);
    for (const QDateTime &time : {ancient, old, old.addSecs(3600), old.addSecs(7200), old.addDays(1).addSecs(7200),
                                  now.addDays(-10), now.addDays(-10).addSecs(60)}) {
        ReadingRecord record;
        record.reading = reading(time, time.toSecsSinceEpoch() / 1000, 0);
        record.supplies = {level(time, int(time.time().hour()))};
        ASSERT_GT(history.record(record), 0);
    }
    for (int step = 0; step < 20; ++step) history.pruneStep(now); // a step a day: up to 90 days back by then
    QStringList kept;
    for (const ReadingEntry &entry : history.readings({})) kept << entry.time.toString(Qt::ISODate);
    EXPECT_EQ(kept, (QStringList{old.addSecs(7200).toString(Qt::ISODate),
                                 old.addDays(1).addSecs(7200).toString(Qt::ISODate),
                                 now.addDays(-10).toString(Qt::ISODate), now.addDays(-10).addSecs(60).toString(Qt::ISODate)}));
    QStringList levels;
    for (const SupplyEntry &entry : history.supplies({})) levels << entry.time.toString(Qt::ISODate);
    EXPECT_EQ(levels, (QStringList{old.addSecs(7200).toString(Qt::ISODate), now.addDays(-10).toString(Qt::ISODate)}))
        << "the next day's same level is not kept";
}

TEST(History, AStoreThatCannotBeUsedIsSaidAndAFileThatIsNoDatabaseIsSetAside) {
    QTemporaryDir folder;
    const QString path = folder.filePath(HistoryFileName);
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, 'x'));
    }
    {
        History reader(folder.path(), true);
        EXPECT_FALSE(reader.isOpen()) << "a reader never sets a file aside";
        EXPECT_TRUE(QFile::exists(path));
    }
    History history(folder.path());
    ASSERT_TRUE(history.isOpen()) << history.failure();
    EXPECT_TRUE(history.setAsideAs().startsWith(path + ".corrupt-")) << history.setAsideAs();
    EXPECT_TRUE(QFile::exists(history.setAsideAs()));
    ReadingRecord record;
    record.reading = reading(Start, 1, 1);
    EXPECT_GT(history.record(record), 0);

    // A full disk: the reading is not stored, and the store says why.
    {
        testsupport::TinyFileSizeLimit fullDisk;
        ReadingRecord big;
        big.reading = reading(Start.addSecs(60), 2, 2);
        big.reading.model = QString(100000, 'm');
        EXPECT_EQ(history.record(big), 0);
    }
    EXPECT_TRUE(history.failure().startsWith("Cannot write " + path)) << history.failure().toStdString();

    // A reader beside a writer that holds its transaction open sees what was committed, and does not wait.
    {
        QSqlDatabase writer = QSqlDatabase::addDatabase("QSQLITE", "writer");
        writer.setDatabaseName(path);
        ASSERT_TRUE(writer.open());
        QSqlQuery query(writer);
        ASSERT_TRUE(query.exec("BEGIN IMMEDIATE"));
        ASSERT_TRUE(query.exec("DELETE FROM readings"));
        History reader(folder.path(), true);
        EXPECT_EQ(reader.readings({}).size(), 1);
        query.exec("ROLLBACK");
    }
    QSqlDatabase::removeDatabase("writer");
    EXPECT_EQ(History(QTemporaryDir().path(), true).failure().left(20), "No reading history: ");
}

// Usage comes from the differences of the totals: a drop or another identity starts a new series whose jump is not
// counted; a period is complete only where one series has readings at both its ends.
TEST(Usage, PagesPerPeriodAcrossADropAndAnIdentityChange) {
    const QDateTime jan = QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC);
    QList<ReadingEntry> readings = {
        reading(jan.addDays(-1), 1000, 100), reading(jan.addDays(31), 1310, 131),  // 310/31 over 32 days
        reading(jan.addDays(45), 50, 5),                                           // a board replaced: new series
        reading(jan.addDays(59), 190, 19),                                         // February's end: 59 days in
        reading(jan.addDays(60), 200, 20, "E2"),                                   // another printer at the address
        reading(jan.addDays(70), 300, 30, "E2")};
    EXPECT_EQ(usageText(usageOf(readings, Period::Month)),
              (QStringList{"2025-12 10/1 estimated", "2026-01 300/30", "2026-02 140/14 estimated",
                           "2026-03 100/10 estimated"}));
    EXPECT_EQ(usageText(usageOf(readings, Period::Month, QDate(2026, 2, 1))).first(), "2026-02 140/14 estimated");
    EXPECT_EQ(usageOf(readings.mid(0, 2), Period::Week).first().period, "2026-W01"); // 2025-12-29's ISO week
    const QList<Usage> days = usageOf(readings.mid(0, 2), Period::Day);
    EXPECT_EQ(usageText(days.mid(0, 2)), (QStringList{"2025-12-31 10/1", "2026-01-01 9/1"}));
}

// Days left from the slope of the current cartridge's levels: a synthetic toner falling 1 % a day, then a new one.
TEST(Usage, DaysLeftFromTheSlopeOfTheCurrentCartridgesLevels) {
    QList<SupplyEntry> levels;
    for (int day = 0; day <= 20; ++day) levels << level(Start.addDays(day), 100 - day);
    EXPECT_EQ(daysLeft(levels.mid(0, 14), Start.addDays(13)), std::nullopt) << "13 days are not yet enough";
    EXPECT_EQ(daysLeft(levels.mid(0, 15), Start.addDays(14)), 86);
    EXPECT_EQ(daysLeft(levels, Start.addDays(25)), 75) << "five days after the last level";
    levels << level(Start.addDays(21), 100) << level(Start.addDays(30), 95);
    EXPECT_EQ(daysLeft(levels, Start.addDays(30)), std::nullopt) << "a new cartridge starts again";
    QList<SupplyEntry> box;
    for (int day = 0; day <= 20; day += 5) box << level(Start.addDays(day), 40 + day, true);
    EXPECT_EQ(daysLeft(box, Start.addDays(20)), 40) << "a receptacle: days until full";
    QList<SupplyEntry> flat = {level(Start, 50), level(Start.addDays(20), 50)};
    EXPECT_EQ(daysLeft(flat, Start.addDays(20)), std::nullopt);
}
