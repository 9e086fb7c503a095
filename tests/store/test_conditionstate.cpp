// The remembered condition of printers: two reads to raise, two to clear, silence that keeps what is raised and
// becomes a condition of its own after the site's hours, a state that survives a restart; and the site's settings in
// alerts.ini.
#include "store/alertsettings.h"
#include "store/conditionstate.h"

#include "support/qtprint.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

namespace {

const store::SeenCondition Jam{"jam:tray 2", "jam", "tray 2", "Paper jam: tray 2", 3};
const store::SeenCondition PaperLow{"paperLow", "paperLow", {}, "Paper low", 1};

// Each change as "+key" (raised) or "-key" (cleared).
QStringList changes(const QList<store::ConditionChange> &made) {
    QStringList shown;
    for (const store::ConditionChange &change : made) shown << (change.raised ? u'+' : u'-') + change.condition.key;
    return shown;
}

} // namespace

TEST(ConditionState, RaisedAfterTwoReadsClearedAfterTwoKeptThroughSilenceAndRestarts) {
    QTemporaryDir folder;
    const QDateTime start = QDateTime::fromString("2026-12-09T08:00:00Z", Qt::ISODate);
    const auto at = [&](int minutes) { return start.addSecs(minutes * 60); };
    const QString host = QStringLiteral("printer-1");
    const int silentHours = 4;
    {
        store::ConditionStates states(folder.path());
        EXPECT_EQ(changes(states.observe(host, QList{Jam, PaperLow}, at(0), silentHours)), QStringList());
        EXPECT_EQ(changes(states.observe(host, QList{Jam}, at(5), silentHours)), QStringList{"+jam:tray 2"});
        EXPECT_EQ(changes(states.observe(host, QList{Jam, PaperLow}, at(10), silentHours)), QStringList())
            << "a pending condition not seen once starts again";
        EXPECT_EQ(states.printer(host).raised().first().since, at(0));
        ASSERT_TRUE(states.save());
    }
    store::ConditionStates restarted(folder.path());
    EXPECT_EQ(changes(restarted.observe(host, QList{Jam, PaperLow}, at(15), silentHours)), QStringList{"+paperLow"})
        << "the jam was raised before the restart: announced once only";
    EXPECT_EQ(changes(restarted.observe(host, std::nullopt, at(20), silentHours)), QStringList());
    EXPECT_EQ(changes(restarted.observe(host, std::nullopt, at(20 + 4 * 60), silentHours)), QStringList{"+notAnswering"});
    EXPECT_EQ(restarted.printer(host).raised().size(), 3) << "silence clears nothing";
    EXPECT_EQ(restarted.printer(host).lastAnswer, at(15));
    EXPECT_EQ(changes(restarted.observe(host, QList{Jam}, at(300), silentHours)), QStringList{"-notAnswering"});
    EXPECT_EQ(changes(restarted.observe(host, QList{Jam}, at(305), silentHours)), QStringList{"-paperLow"});
    EXPECT_EQ(changes(restarted.observe(host, QList<store::SeenCondition>(), at(310), silentHours)), QStringList());
    EXPECT_EQ(changes(restarted.observe(host, QList<store::SeenCondition>(), at(315), silentHours)), QStringList{"-jam:tray 2"});
}

// A printer whose readings the service has not taken for the site's days is a condition of its own, raised and
// cleared at once, from its last reading taken or else from when it was first watched; the reads' own raising and
// clearing leave it alone.
TEST(ConditionState, NoReadingTakenForDaysIsAConditionUntilOneIsTaken) {
    QTemporaryDir folder;
    const QDateTime start = QDateTime::fromString("2026-12-01T08:00:00Z", Qt::ISODate);
    const auto day = [&](double days) { return start.addSecs(qint64(days * 24 * 3600)); };
    const QString host = QStringLiteral("printer-1");
    store::ConditionStates states(folder.path());
    EXPECT_EQ(changes(states.observe(host, QList<store::SeenCondition>(), day(0), 4)), QStringList());
    EXPECT_EQ(changes(states.observeReadings(host, {}, day(2.9), 3)), QStringList()) << "watched 2.9 days";
    EXPECT_EQ(changes(states.observeReadings(host, {}, day(3), 3)), QStringList{"+noReading"});
    EXPECT_EQ(states.printer(host).conditions["noReading"].seen.text, "No reading for 3 days");
    EXPECT_EQ(states.printer(host).conditions["noReading"].since, day(0));
    EXPECT_EQ(changes(states.observe(host, QList<store::SeenCondition>(), day(3.1), 4)), QStringList());
    EXPECT_EQ(changes(states.observe(host, QList<store::SeenCondition>(), day(3.2), 4)), QStringList())
        << "two reads without it do not clear it";
    EXPECT_EQ(changes(states.observeReadings(host, day(3.3), day(3.4), 3)), QStringList{"-noReading"});
    EXPECT_EQ(changes(states.observeReadings(host, day(3.3), day(6.3), 3)), QStringList{"+noReading"})
        << "three days after the last reading taken";
    EXPECT_EQ(changes(states.observeReadings(host, day(3.3), day(6.4), 0)), QStringList{"-noReading"}) << "0: never";
}

TEST(ConditionState, AFileOfAnotherFormStartsEmpty) {
    for (const QByteArray bytes : {QByteArray("{\"version\":2,\"printers\":{\"a\":{}}}"), QByteArray("[1,2]"),
                                   QByteArray("{\"version\":1,\"printers\":{\"a\":{\"conditions\":[{\"kind\":3}]}}}")})
        EXPECT_TRUE(store::parseConditionStates(bytes).value("a").conditions.isEmpty()) << bytes.constData();
}

TEST(AlertSettings, ValuesAndMutesAsTheSiteWritesThem) {
    const store::AlertSettings settings = store::parseAlertSettings(
        "[Conditions]\nPollMinutes=2\nNotifyFrom=Critical\nSilentHours=often\nNoReadingDays=7\nMute=paperOut:Tray 1, outputNearFull\n"
        "[Mute reception]\nHosts=127.0.0.5-9\nKinds=jam\n[Mute broken]\nHosts=somewhere\nKinds=jam\n");
    EXPECT_EQ(settings.pollMinutes, 2);
    EXPECT_EQ(settings.notifyFrom, 3);
    EXPECT_EQ(settings.silentHours, 4);
    EXPECT_EQ(settings.noReadingDays, 7);
    EXPECT_EQ(settings.problems.size(), 2) << settings.problems.join(u'\n');
    EXPECT_TRUE(settings.muted("127.0.0.1", "paperOut", "tray 1"));
    EXPECT_FALSE(settings.muted("127.0.0.1", "paperOut", "tray 2"));
    EXPECT_TRUE(settings.muted("127.0.0.1", "outputNearFull", "output bin 1"));
    EXPECT_TRUE(settings.muted("127.0.0.7", "jam", "tray 2"));
    EXPECT_FALSE(settings.muted("127.0.0.10", "jam", "tray 2"));
}
