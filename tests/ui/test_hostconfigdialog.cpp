// The printer dialog, driven by its controls' names: the slot it edits, what it shows, what OK stores and announces
// (against a simulated printer, the announcement taken by a recording window), Remove answered No and Yes,
// Cancel, and the ping colours from stand-in ping programs and from the real ping in a namespace of our own.
#include "platform/componentfactory.h"
#include "platform/window.h"
#include "store/config.h"
#include "store/piplistmodel.h"
#include "store/pips.h"
#include "support/faultagent.h"
#include "support/logmessages.h"
#include "support/printers.h"
#include "support/privatenetwork.h"
#include "support/recordingwindow.h"
#include "ui/hostconfigdialog.h"
#include "uitest.h"
#include "upload/scrambler.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

using namespace Qt::StringLiterals;
using uitest::child;
using uitest::readBytes;
using meterlane::test::RecordingWindow;
using ui::HostConfigDialog;
using uitest::SeenBox;
using uitest::ClosedServiceRoot;


class HostConfigTest : public uitest::WidgetTest {
protected:
    void SetUp() override {
        WidgetTest::SetUp();
        qputenv("METERLANE_SERVICE_URL", ClosedServiceRoot.toUtf8());
        platform::setLibraryFolder(QStringLiteral(METERLANE_BIN_DIR));
        platform::setWindow(&window);
    }
    void TearDown() override {
        platform::setWindow(nullptr);
        qunsetenv("METERLANE_SERVICE_URL");
    }

    store::PipRecords records() const { return store::PipRecords(store::globals().iniFile); }
    void storeRecords(const QList<std::pair<QString, QString>> &stored) {
        int slot = 0;
        for (const auto &[address, description] : stored) {
            ASSERT_TRUE(store::WriteIniValue(store::globals().iniFile, store::PipsSection, store::slotKey(++slot), address));
            ASSERT_TRUE(
                store::WriteIniValue(store::globals().iniFile, store::InfoSection, store::slotKey(slot), description));
        }
    }
    // The announcement as logged: the address with its data as typed.
    static QString announcement(const QString &identity, const QString &location) {
        return ClosedServiceRoot + u"/ylk/meter/announce?d=YLK;"_s + upload::EncodeText(u"004"_s) + u"&PRNSER="_s +
               identity + u"&PRNUBI="_s + location;
    }
    static QString lastLogMessage() {
        const QStringList messages = testsupport::logMessages();
        return messages.isEmpty() ? QString() : messages.last();
    }

    RecordingWindow window;
    meterlane::test::TransportSettings transport{300, 0};
};

TEST_F(HostConfigTest, NewRowAddsTheNextSlotAndOkStoresAndAnnouncesThePrinter) {
    testsupport::SimulatedPrinter printer("ricoh");
    ASSERT_TRUE(printer.running()) << printer.failure();
    const QString host = QString::fromStdString(printer.address());
    storeRecords({{u"127.0.0.21:1,2"_s, u"Floor 1"_s}, {u"127.0.0.22"_s, u"Floor 2"_s}, {u"printer7"_s, u""_s}});

    store::PipListModel list;
    list.fill(store::globals().iniFile);
    const QModelIndex newRow = list.index(list.rowCount() - 1, 0);
    ASSERT_EQ(newRow.data().toString(), u"[new]"_s);
    const int slot = newRow.data(store::PipListModel::SlotRole).toInt();
    EXPECT_EQ(slot, 4);
    EXPECT_EQ(HostConfigDialog(0).slot(), 4) << "no row selected: the next free slot, as \"[new]\"";

    uitest::BoxAnswerer answerer;
    QStringList shown;
    answerer.onDialog = [&](QDialog *dialog) {
        shown << dialog->objectName() << dialog->windowTitle() << child<QLineEdit>(*dialog, u"txtIP"_s)->text()
              << child<QLineEdit>(*dialog, u"txtDescr"_s)->text();
        QTest::keyClicks(child<QLineEdit>(*dialog, u"txtIP"_s), host);
        QTest::keyClicks(child<QLineEdit>(*dialog, u"txtDescr"_s), u"Floor 2"_s);
        child<QPushButton>(*dialog, u"Command1"_s)->click();
    };
    HostConfigDialog::edit(slot);

    EXPECT_EQ(shown, QStringList({u"frmHostConfig"_s, u"host config"_s, QString(), QString()}));
    EXPECT_EQ(records().address(4), host);
    EXPECT_EQ(records().description(4), u"Floor 2"_s);
    EXPECT_EQ(records().address(3), u"printer7"_s);
    ASSERT_EQ(window.navigations.size(), 1u);
    EXPECT_EQ(window.navigations[0].toString(QUrl::FullyEncoded),
              ClosedServiceRoot + u"/ylk/meter/announce?d=YLK%3B"_s + upload::EncodeText(u"004"_s) +
                  u"&PRNSER=E174M610045&PRNUBI=Floor%202"_s);
    EXPECT_EQ(lastLogMessage(), announcement(u"E174M610045"_s, u"Floor 2"_s));
    EXPECT_TRUE(answerer.seen.empty());
}

TEST_F(HostConfigTest, ShowsTheStoredHostAloneAndOkDropsItsKeyPoint) {
    storeRecords({{u" 127.0.0.9 :1,2,3"_s, u"Floor 1"_s}, {u"----"_s, u"----"_s}});
    ASSERT_TRUE(store::WriteIniValue(store::globals().iniFile, store::IdentitySection, u"pip001"_s, u"ID-1"_s));

    HostConfigDialog second(2);
    EXPECT_EQ(child<QLineEdit>(second, u"txtIP"_s)->text(), QString());
    EXPECT_EQ(child<QLineEdit>(second, u"txtDescr"_s)->text(), u"----"_s);

    HostConfigDialog first(1);
    EXPECT_EQ(first.windowTitle(), u"host config"_s);
    EXPECT_EQ(child<QLineEdit>(first, u"txtIP"_s)->text(), u"127.0.0.9"_s);
    EXPECT_EQ(child<QLineEdit>(first, u"txtDescr"_s)->text(), u"Floor 1"_s);
    EXPECT_TRUE(child<QLineEdit>(first, u"txtSerial"_s)->text().isEmpty());
    EXPECT_TRUE(child<QLineEdit>(first, u"txtpattern"_s)->text().isEmpty());
    first.show();
    child<QPushButton>(first, u"Command1"_s)->click();

    EXPECT_EQ(first.result(), QDialog::Accepted);
    EXPECT_EQ(records().address(1), u"127.0.0.9"_s);
    EXPECT_EQ(records().description(1), u"Floor 1"_s);
    EXPECT_EQ(records().identity(1), u"ID-1"_s);
    ASSERT_EQ(window.navigations.size(), 1u);
    EXPECT_EQ(lastLogMessage(), announcement(u"unknow"_s, u"Floor 1"_s)) << "a silent printer";
}

TEST_F(HostConfigTest, BlankFieldsAreStoredAsDashesAndAnnouncedAsUnknown) {
    HostConfigDialog dialog(0);
    EXPECT_EQ(dialog.slot(), 1);
    dialog.show();
    QTest::keyClicks(child<QLineEdit>(dialog, u"txtIP"_s), u"   "_s);
    child<QPushButton>(dialog, u"Command1"_s)->click();

    EXPECT_EQ(records().address(1), u"----"_s);
    EXPECT_EQ(records().description(1), u"----"_s);
    EXPECT_EQ(lastLogMessage(), announcement(u"unknow"_s, u"----"_s));
    EXPECT_EQ(window.navigations.size(), 1u);
}

TEST_F(HostConfigTest, RemoveAsksFirstAndOnYesMovesTheLaterRecordsDown) {
    storeRecords({{u"127.0.0.21"_s, u"one"_s}, {u"127.0.0.22"_s, u"two"_s}, {u"127.0.0.23:5"_s, u"three"_s}});
    const QByteArray before = readBytes(store::globals().iniFile);
    HostConfigDialog dialog(2);
    dialog.show();
    {
        uitest::BoxAnswerer answerer({QMessageBox::No});
        child<QPushButton>(dialog, u"cmdRemove"_s)->click();
        ASSERT_EQ(answerer.seen.size(), 1u);
        EXPECT_EQ(answerer.seen[0].text, u"Are you sure?"_s);
        EXPECT_EQ(answerer.seen[0].icon, QMessageBox::Question);
    }
    EXPECT_EQ(readBytes(store::globals().iniFile), before);
    EXPECT_TRUE(dialog.isVisible()) << "No keeps the dialog open";
    {
        uitest::BoxAnswerer answerer({QMessageBox::Yes});
        child<QPushButton>(dialog, u"cmdRemove"_s)->click();
        EXPECT_EQ(answerer.seen.size(), 1u);
    }
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(records().address(1), u"127.0.0.21"_s);
    EXPECT_EQ(records().address(2), u"127.0.0.23:5"_s);
    EXPECT_EQ(records().description(2), u"three"_s);
    EXPECT_EQ(records().address(3), QString());
    EXPECT_EQ(records().description(3), QString());
    EXPECT_TRUE(window.navigations.empty());
}

TEST_F(HostConfigTest, CancelStoresNothing) {
    storeRecords({{u"127.0.0.21"_s, u"one"_s}});
    const QByteArray before = readBytes(store::globals().iniFile);
    HostConfigDialog dialog(1);
    dialog.show();
    child<QLineEdit>(dialog, u"txtIP"_s)->setText(u"127.0.0.99"_s);
    child<QPushButton>(dialog, u"cmdCancel"_s)->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(readBytes(store::globals().iniFile), before);
    EXPECT_TRUE(window.navigations.empty());
}

TEST_F(HostConfigTest, WithEverySlotTakenNothingCanBeStored) {
    QByteArray ini = "[pips]\r\n";
    for (int slot = 1; slot <= store::SlotCount; ++slot) ini += store::slotKey(slot).toUtf8() + "=127.0.0.1\r\n";
    QFile file(store::globals().iniFile);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(ini);
    file.close();

    HostConfigDialog dialog(0);
    EXPECT_EQ(dialog.slot(), 0);
    EXPECT_FALSE(child<QPushButton>(dialog, u"Command1"_s)->isEnabled());
    EXPECT_FALSE(child<QPushButton>(dialog, u"cmdRemove"_s)->isEnabled());
    EXPECT_TRUE(child<QPushButton>(dialog, u"cmdCancel"_s)->isEnabled());
    EXPECT_EQ(HostConfigDialog(200).slot(), 200) << "an existing slot is still open to changes";
}

QColor pingColour(const QString &host) {
    HostConfigDialog dialog(1);
    QLineEdit *ip = child<QLineEdit>(dialog, u"txtIP"_s);
    ip->setText(host);
    child<QPushButton>(dialog, u"cmdPing"_s)->click();
    return ip->palette().color(QPalette::Base);
}

// Stand-in ping programs decide the round-trip time: green exactly for a reply within 1 ms. Blanks around the
// address are dropped; one inside it, or a leading "-", keeps it from the ping program.
TEST_F(HostConfigTest, PingTurnsTheHostGreenOnlyForAReplyWithinOneMillisecond) {
    QTemporaryDir bin;
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", bin.path().toUtf8());
    const auto install = [&](const QString &output) {
        QFile script(bin.filePath(u"ping"_s));
        script.remove();
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write(("#!/bin/sh\necho '" + output + "'\n").toUtf8());
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
    };
    const std::pair<QString, QColor> cases[] = {
        {u"64 bytes from 127.0.0.1: icmp_seq=1 ttl=64 time=0.045 ms"_s, HostConfigDialog::Answered},
        {u"64 bytes from 127.0.0.1: icmp_seq=1 ttl=64 time=1.999 ms"_s, HostConfigDialog::Answered},
        {u"64 bytes from 127.0.0.1: icmp_seq=1 ttl=64 time=3.2 ms"_s, HostConfigDialog::NotAnswered},
        {u"1 packets transmitted, 0 received, 100% packet loss, time 0ms"_s, HostConfigDialog::NotAnswered},
    };
    for (const auto &[output, colour] : cases) {
        install(output);
        EXPECT_EQ(pingColour(u"127.0.0.1"_s), colour) << output.toStdString();
    }
    const std::pair<QString, QColor> hosts[] = {
        {u" 127.0.0.1\t "_s, HostConfigDialog::Answered},
        {u"127.0.0.1 -c 9"_s, HostConfigDialog::NotAnswered},
        {u" -c9"_s, HostConfigDialog::NotAnswered},
    };
    install(cases[0].first);
    for (const auto &[host, colour] : hosts) EXPECT_EQ(pingColour(host), colour) << host.toStdString();
    qputenv("PATH", path);
    EXPECT_EQ(HostConfigDialog::Answered, QColor(128, 255, 128));
    EXPECT_EQ(HostConfigDialog::NotAnswered, QColor(255, 128, 128));
}

TEST_F(HostConfigTest, PingOfLoopbackIsGreenAndOfASilentHostRed) {
    testsupport::PrivateNetwork network;
    ASSERT_TRUE(network.ready()) << network.failure();
    EXPECT_EQ(pingColour(u"127.0.0.1"_s), HostConfigDialog::Answered);
    EXPECT_EQ(pingColour(u"198.18.0.7"_s), HostConfigDialog::NotAnswered);
    EXPECT_EQ(pingColour(u"----"_s), HostConfigDialog::NotAnswered);
}

} // namespace
