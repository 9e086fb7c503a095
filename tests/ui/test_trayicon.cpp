// The tray adapter under the offscreen platform, which has no system tray: the record is kept and applied to the
// icon all the same, clicks on the icon are told apart, the toner notes reach the record and the icon, and a
// condition's balloon takes its icon kind.
#include "ui/art.h"
#include "ui/trayicon.h"
#include "uitest.h"

#include <QMenu>
#include <QSignalSpy>
#include <QWidget>

namespace {

using namespace ui;

class TrayIconTest : public uitest::WidgetTest {
protected:
    QWidget window;
    TrayIcon tray{&window};
    QIcon windowIcon = art::icon(art::Window);
    QIcon alertIcon = art::icon(art::Alert);
};

TEST_F(TrayIconTest, CreationKeepsTheRecordAndAppliesTipAndIcon) {
    EXPECT_FALSE(tray.available()) << "the offscreen platform has no tray";
    tray.create(windowIcon);
    const NotifyIconRecord &record = tray.record();
    EXPECT_EQ(record.cbSize, 936u);
    EXPECT_EQ(record.hWnd, static_cast<quint32>(window.winId()));
    EXPECT_NE(record.hIcon, 0u);
    EXPECT_EQ(record.uID, record.hIcon);
    EXPECT_EQ(record.uFlags, 7u);
    EXPECT_EQ(record.uCallbackMessage, 512u);
    EXPECT_EQ(record.uTimeoutOrVersion, 3u);
    EXPECT_EQ(tray.iconOf(record.hIcon).cacheKey(), windowIcon.cacheKey());
    EXPECT_EQ(tray.trayIcon()->toolTip(), QStringLiteral("Meterlane"));
    EXPECT_EQ(tray.trayIcon()->icon().cacheKey(), windowIcon.cacheKey());
}

TEST_F(TrayIconTest, LeftClickAsksForTheWindowAndTheMenuIsTheIconsContextMenu) {
    QSignalSpy restore(&tray, &TrayIcon::restoreRequested);
    QMenu mnu;
    tray.setMenu(&mnu);
    tray.create(windowIcon);
    EXPECT_EQ(tray.trayIcon()->contextMenu(), &mnu);

    for (auto reason : {QSystemTrayIcon::Context, QSystemTrayIcon::MiddleClick, QSystemTrayIcon::Unknown})
        emit tray.trayIcon()->activated(reason);
    EXPECT_EQ(restore.count(), 0);
    emit tray.trayIcon()->activated(QSystemTrayIcon::Trigger);
    emit tray.trayIcon()->activated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(restore.count(), 2) << "every left click, visible window or not";
}

TEST_F(TrayIconTest, TonerNotesAsBalloonAndAsQuietAlertIcon) {
    tray.setAlertIcon(alertIcon);
    tray.create(windowIcon);
    const quint32 windowHandle = tray.record().hIcon;

    tray.notifyTonerLow(true, QStringLiteral("MP C3000"), QStringLiteral("Floor 2"), QStringLiteral("Black Empty!!!"));
    EXPECT_EQ(infoTitleText(tray.record()), QStringLiteral("MP C3000 (Floor 2) - Toner Low!"));
    EXPECT_EQ(infoText(tray.record()), QStringLiteral("Black Empty!!!"));
    EXPECT_EQ(tray.record().dwInfoFlags, 2u);
    EXPECT_EQ(tray.record().uTimeoutOrVersion, 30000u);
    EXPECT_EQ(tray.record().hIcon, windowHandle);
    EXPECT_EQ(tray.trayIcon()->toolTip(), QStringLiteral("Meterlane"));

    // The quiet note turns icon and tip even though a balloon left the flags at NIF_INFO.
    tray.notifyTonerLow(false, QStringLiteral("MP C3000"), QStringLiteral("Floor 2"), QStringLiteral("Black Empty!!!"));
    EXPECT_EQ(tray.record().uFlags, 16u);
    EXPECT_NE(tray.record().hIcon, windowHandle);
    EXPECT_EQ(tray.iconOf(tray.record().hIcon).cacheKey(), alertIcon.cacheKey());
    EXPECT_EQ(tray.trayIcon()->icon().cacheKey(), alertIcon.cacheKey());
    EXPECT_EQ(tray.trayIcon()->toolTip(), QStringLiteral("MeterlaneMP C3000Black Empty!!!"));
}

TEST_F(TrayIconTest, WithoutAnAlertPictureTheQuietNoteKeepsTheIcon) {
    tray.setAlertIcon(QIcon());
    tray.create(windowIcon);
    tray.notifyTonerLow(false, QStringLiteral("M"), QString(), QString(200, u'w'));
    EXPECT_EQ(tray.trayIcon()->icon().cacheKey(), windowIcon.cacheKey());
    EXPECT_EQ(tray.trayIcon()->toolTip(), (QStringLiteral("MeterlaneM") + QString(200, u'w')).left(127));
}

// A condition's balloon takes its icon kind from the condition's weight, and stays 30 s as the toner's.
TEST_F(TrayIconTest, ConditionBalloonsTakeTheirIconKindFromTheAttention) {
    using platform::Attention;
    const std::pair<Attention, quint32> kinds[] = {{Attention::Critical, BalloonError},
                                                   {Attention::Warning, BalloonWarning},
                                                   {Attention::Notice, BalloonInformation},
                                                   {Attention::NotAnswering, BalloonInformation}};
    for (const auto &[attention, kind] : kinds) {
        tray.notifyCondition(QStringLiteral("MP C3003 (Floor 2)"), QStringLiteral("Paper jam"), attention);
        EXPECT_EQ(tray.record().dwInfoFlags, kind) << int(attention);
    }
    EXPECT_EQ(infoText(tray.record()), QStringLiteral("Paper jam"));
    EXPECT_EQ(tray.record().uTimeoutOrVersion, 30000u);
}

} // namespace
