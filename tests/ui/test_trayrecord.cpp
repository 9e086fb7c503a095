// The notification record: its size table, the text fields' copy with its cut and NUL, the icon creation, balloons
// and the toner-low notes, checked on the record's bytes.
#include "ui/trayrecord.h"

#include <gtest/gtest.h>

#include <QString>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>

namespace {

using namespace ui;

QString repeated(QChar letter, int count) { return QString(count, letter); }

TEST(TrayRecord, SizesFollowTheShellsTable) {
    EXPECT_EQ(TrayRecordSize(true, true), 936u);
    EXPECT_EQ(TrayRecordSize(true, false), 488u);
    EXPECT_EQ(TrayRecordSize(false, true), 152u);
    EXPECT_EQ(TrayRecordSize(false, false), 88u);
    EXPECT_EQ(offsetof(NotifyIconRecord, szTip) + 64 * 2, 152u) << "up to the first 64 units of the tip";
    EXPECT_EQ(TipChars(128, true), 256);
    EXPECT_EQ(TipChars(64, true), 128);
    EXPECT_EQ(TipChars(128, false), 128);
}

TEST(CopyToWideBuffer, CopiesUtf16LittleEndianAndZerosTheRest) {
    std::array<quint8, 12> buffer;
    buffer.fill(0xAA);
    CopyToWideBuffer(QStringLiteral("Aé€"), buffer.data(), int(buffer.size()));
    const std::array<quint8, 12> wanted = {0x41, 0, 0xE9, 0, 0xAC, 0x20, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(buffer, wanted);
    EXPECT_EQ(wideText(buffer.data(), int(buffer.size())), QStringLiteral("Aé€"));
}

TEST(CopyToWideBuffer, CutsToHalfTheSizeLessOneCharacterAndEndsWithNul) {
    for (int length : {5, 6, 50}) {
        std::array<quint8, 12> buffer;
        buffer.fill(0xAA);
        CopyToWideBuffer(repeated(u'x', length), buffer.data(), int(buffer.size()));
        EXPECT_EQ(wideText(buffer.data(), 12), repeated(u'x', 5)) << length;
        EXPECT_EQ(buffer[10], 0) << length;
        EXPECT_EQ(buffer[11], 0) << length;
    }
    // Nothing is written beyond the size given.
    std::array<quint8, 8> buffer;
    buffer.fill(0xAA);
    CopyToWideBuffer(QStringLiteral("abcdef"), buffer.data(), 6);
    EXPECT_EQ(wideText(buffer.data(), 6), QStringLiteral("ab"));
    EXPECT_EQ(buffer[6], 0xAA);
    EXPECT_EQ(buffer[7], 0xAA);
}

TEST(CopyToWideBuffer, AnEmptyTextLeavesTheBufferAsItWas) {
    std::array<quint8, 8> buffer;
    CopyToWideBuffer(QStringLiteral("old"), buffer.data(), int(buffer.size()));
    const auto before = buffer;
    CopyToWideBuffer(QString(), buffer.data(), int(buffer.size()));
    CopyToWideBuffer(QStringLiteral(""), buffer.data(), int(buffer.size()));
    EXPECT_EQ(buffer, before);
    // Too small to hold a NUL: left alone, never overrun.
    CopyToWideBuffer(QStringLiteral("new"), buffer.data(), 1);
    CopyToWideBuffer(QStringLiteral("new"), buffer.data(), 0);
    EXPECT_EQ(buffer, before);
}

TEST(CopyToWideBuffer, ACutNeverKeepsHalfASurrogatePair) {
    const QString clef = QString::fromUtf8("\xF0\x9D\x84\x9E"); // one character, two UTF-16 units
    std::array<quint8, 8> buffer;                              // room for three units and the NUL
    CopyToWideBuffer(QStringLiteral("ab") + clef, buffer.data(), int(buffer.size()));
    EXPECT_EQ(wideText(buffer.data(), 8), QStringLiteral("ab"));
    CopyToWideBuffer(QStringLiteral("a") + clef + QStringLiteral("b"), buffer.data(), int(buffer.size()));
    EXPECT_EQ(wideText(buffer.data(), 8), QStringLiteral("a") + clef);
}

TEST(TrayRecord, CreationFillsHandlesFlagsTipAndVersion) {
    NotifyIconRecord record;
    CreateIconRecord(record, 0x1234, 7, true);
    EXPECT_EQ(record.cbSize, 936u);
    EXPECT_EQ(record.hWnd, 0x1234u);
    EXPECT_EQ(record.uID, 7u);
    EXPECT_EQ(record.hIcon, 7u);
    EXPECT_EQ(record.uFlags, 7u);
    EXPECT_EQ(record.uCallbackMessage, 512u);
    EXPECT_EQ(record.uTimeoutOrVersion, 3u);
    EXPECT_EQ(tipText(record), QStringLiteral("Meterlane"));

    NotifyIconRecord plain;
    CreateIconRecord(plain, 1, 2, false);
    EXPECT_EQ(plain.cbSize, 152u);
    EXPECT_EQ(plain.uTimeoutOrVersion, 0u) << "no version without balloon support";
    EXPECT_EQ(tipText(plain), QStringLiteral("Meterlane"));
}

TEST(TrayRecord, BalloonKeepsTheFieldLimitsAndSwitchesTheFlags) {
    NotifyIconRecord record;
    CreateIconRecord(record, 1, 2, true);
    ShowBalloonTip(record, true, repeated(u'm', 300), repeated(u't', 70), BalloonError, 12345);
    EXPECT_EQ(infoText(record), repeated(u'm', 255));
    EXPECT_EQ(infoTitleText(record), repeated(u't', 63));
    EXPECT_EQ(record.dwInfoFlags, 3u);
    EXPECT_EQ(record.uTimeoutOrVersion, 12345u);
    EXPECT_EQ(record.uFlags, 16u);
    EXPECT_EQ(tipText(record), QStringLiteral("Meterlane")) << "the tip stays";

    // An empty text or title keeps the previous one; a shorter one leaves nothing of the longer one behind.
    ShowBalloonTip(record, true, QString(), QStringLiteral("short"), BalloonInformation, 500);
    EXPECT_EQ(infoText(record), repeated(u'm', 255));
    EXPECT_EQ(infoTitleText(record), QStringLiteral("short"));
    EXPECT_TRUE(std::all_of(record.szInfoTitle.begin() + 10, record.szInfoTitle.end(), [](quint8 b) { return b == 0; }));
    EXPECT_EQ(record.dwInfoFlags, 1u);
}

TEST(TrayRecord, WithoutBalloonSupportABalloonChangesNothing) {
    NotifyIconRecord record;
    CreateIconRecord(record, 1, 2, false);
    const NotifyIconRecord before = record;
    ShowBalloonTip(record, false, QStringLiteral("text"), QStringLiteral("title"), BalloonWarning, 1000);
    ShowTonerBalloon(record, false, QStringLiteral("MP C3000"), QStringLiteral("Floor 2"), QStringLiteral("Empty"));
    EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0);
}

TEST(TonerNote, BalloonCarriesModelDescriptionAndWarning) {
    NotifyIconRecord record;
    CreateIconRecord(record, 1, 2, true);
    ShowTonerBalloon(record, true, QStringLiteral("MP C3000"), QStringLiteral("Floor 2"),
                     QStringLiteral("Black Empty!!!"));
    EXPECT_EQ(infoTitleText(record), QStringLiteral("MP C3000 (Floor 2) - Toner Low!"));
    EXPECT_EQ(infoText(record), QStringLiteral("Black Empty!!!"));
    EXPECT_EQ(record.dwInfoFlags, 2u);
    EXPECT_EQ(record.uTimeoutOrVersion, 30000u);
    EXPECT_EQ(record.hIcon, 2u) << "a balloon leaves the icon";

    ShowTonerBalloon(record, true, QStringLiteral("MP C3000"), QString(), QStringLiteral("Cyan = 15%"));
    EXPECT_EQ(infoTitleText(record), QStringLiteral("MP C3000 () - Toner Low!"));
}

TEST(TonerNote, QuietNoteChangesTipAndIconAndKeepsTheFlags) {
    const QString warning = QStringLiteral("Cyan = 15%\r\nMagenta Empty!!!");
    NotifyIconRecord record;
    CreateIconRecord(record, 1, 2, true);
    ShowTonerQuietly(record, true, QStringLiteral("MP C3003"), warning, 9);
    EXPECT_EQ(tipText(record), QStringLiteral("MeterlaneMP C3003") + warning);
    EXPECT_EQ(record.hIcon, 9u);
    EXPECT_EQ(record.uFlags, 7u);

    // After a balloon the flags stay those of the balloon; without an alert picture the icon stays.
    ShowBalloonTip(record, true, QStringLiteral("x"), QStringLiteral("y"), BalloonWarning, 1);
    ShowTonerQuietly(record, true, QStringLiteral("M"), QStringLiteral("w"), 0);
    EXPECT_EQ(record.uFlags, 16u);
    EXPECT_EQ(record.hIcon, 9u);
    EXPECT_EQ(tipText(record), QStringLiteral("MeterlaneMw")) << "the longer tip is gone whole";
}

TEST(TonerNote, QuietTipIsCutAt127Or63Characters) {
    const QString model = repeated(u'M', 100);
    const QString warning = repeated(u'w', 100);
    NotifyIconRecord record;
    CreateIconRecord(record, 1, 2, true);
    ShowTonerQuietly(record, true, model, warning, 3);
    EXPECT_EQ(tipText(record), (QStringLiteral("Meterlane") + model + warning).left(127));

    NotifyIconRecord plain;
    CreateIconRecord(plain, 1, 2, false);
    ShowTonerQuietly(plain, false, model, warning, 3);
    EXPECT_EQ(tipText(plain), (QStringLiteral("Meterlane") + model).left(63));
    EXPECT_TRUE(std::all_of(plain.szTip.begin() + 126, plain.szTip.end(), [](quint8 b) { return b == 0; }));
}

} // namespace
