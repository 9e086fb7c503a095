// The export: refused before the first read-and-send cycle, the file's exact format from the real printer list (a
// warning of several lines on one line, as the list shows it; the record's seven columns, without the list's Status),
// an old file replaced, the empty list, and a file that cannot be written, each with the boxes the user sees.
#include "store/config.h"
#include "store/piplistmodel.h"
#include "store/pips.h"
#include "ui/csvexport.h"
#include "uitest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardItemModel>

namespace {

using namespace Qt::StringLiterals;
using uitest::child;
using uitest::readBytes;
using uitest::SeenBox;

// The user's desktop is a folder of the test's own: Qt finds it under HOME.
class CsvExportTest : public uitest::WidgetTest {
protected:
    void SetUp() override {
        WidgetTest::SetUp();
        home_ = qgetenv("HOME");
        configHome_ = qgetenv("XDG_CONFIG_HOME");
        qputenv("HOME", QFile::encodeName(home.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(u".config"_s)));
        desktopFile = home.filePath(u"Desktop/ZOVExport.csv"_s);
    }
    void TearDown() override {
        qputenv("HOME", home_);
        if (configHome_.isNull())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", configHome_);
    }

    void fillList() {
        const QString ini = store::globals().iniFile;
        const QList<std::pair<QString, QString>> stored = {
            {u"127.0.0.21:1,2"_s, u" Floor 1 "_s}, {u"----"_s, u"----"_s}, {u"printer7"_s, u"Hall;East"_s}};
        int slot = 0;
        for (const auto &[address, description] : stored) {
            ASSERT_TRUE(store::WriteIniValue(ini, store::PipsSection, store::slotKey(++slot), address));
            ASSERT_TRUE(store::WriteIniValue(ini, store::InfoSection, store::slotKey(slot), description));
        }
        list.fill(ini);
        list.updateRow(u"127.0.0.21"_s, u"MP C3003"_s, u"E174M610045"_s, u"92110"_s, u"62220"_s,
                      u"Cyan = 15%\r\nMagenta Empty!!!"_s);
        // The list's Status column, which the file leaves out.
        list.updateStatus(u"127.0.0.21"_s, u"Paper jam"_s, platform::Attention::Critical, u"Paper jam (critical)"_s);
    }

    QTemporaryDir home;
    QString desktopFile;
    store::PipListModel list;

private:
    QByteArray home_, configHome_;
};

TEST_F(CsvExportTest, BeforeTheFirstCycleOnlyAsksToSendTheData) {
    fillList();
    uitest::BoxAnswerer answerer;
    ui::exportPipList(nullptr, list);
    EXPECT_EQ(answerer.seen,
              std::vector<SeenBox>({{u"Yonderlook"_s, u"Send data before export"_s, QMessageBox::Warning}}));
    EXPECT_FALSE(QFile::exists(desktopFile));
    EXPECT_FALSE(QDir(home.filePath(u"Desktop"_s)).exists());
}

TEST_F(CsvExportTest, ReplacesTheFileWithHeadersAndTheLongRowsAsTheyStand) {
    fillList();
    store::globals().dataSent = true;
    ASSERT_TRUE(QDir().mkpath(home.filePath(u"Desktop"_s)));
    QFile old(desktopFile);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(5000, 'x'));
    old.close();
    uitest::BoxAnswerer answerer;
    ui::exportPipList(nullptr, list);

    EXPECT_EQ(ui::exportPath(), desktopFile);
    EXPECT_EQ(answerer.seen, std::vector<SeenBox>({{u"Yonderlook"_s, u"File available on desktop \r\n"_s + desktopFile,
                                                    QMessageBox::Warning}}));
    EXPECT_EQ(readBytes(desktopFile),
              "IP;Model;ID;Description;TotBW;TotCol;Toner;\r\n"
              "127.0.0.21;MP C3003;E174M610045;Floor 1;92110;62220;Cyan = 15%, Magenta Empty!!!\r\n"
              "printer7;;;Hall;East;;;\r\n");
}

TEST_F(CsvExportTest, UnicodeIsWrittenAsUtf8WithoutByteOrderMark) {
    QStandardItemModel table(0, 2);
    table.setHorizontalHeaderLabels({u"IP"_s, u"Description"_s});
    table.appendRow({new QStandardItem(u"127.0.0.5"_s), new QStandardItem(u"Büro 2 – Ost"_s)});
    store::globals().dataSent = true;
    uitest::BoxAnswerer answerer;
    ui::exportPipList(nullptr, table);
    EXPECT_EQ(readBytes(desktopFile), QByteArray("IP;Description;\r\n127.0.0.5;B\xc3\xbcro 2 \xe2\x80\x93 Ost\r\n"));
}

TEST_F(CsvExportTest, AnEmptyListEndsWithAnErrorAndAnEmptyFile) {
    QStandardItemModel empty(0, 7);
    store::globals().dataSent = true;
    uitest::BoxAnswerer answerer;
    ui::exportPipList(nullptr, empty);
    ASSERT_EQ(answerer.seen.size(), 2u);
    EXPECT_EQ(answerer.seen[0].text, u"File available on desktop \r\n"_s + desktopFile);
    EXPECT_TRUE(answerer.seen[1].text.startsWith(u"Error: "_s)) << answerer.seen[1];
    EXPECT_GT(answerer.seen[1].text.size(), 7) << "the error's description follows";
    EXPECT_EQ(answerer.seen[1].icon, QMessageBox::NoIcon);
    EXPECT_TRUE(QFile::exists(desktopFile));
    EXPECT_EQ(readBytes(desktopFile), QByteArray());
}

TEST_F(CsvExportTest, AFileThatCannotBeWrittenIsReported) {
    fillList();
    store::globals().dataSent = true;
    ASSERT_TRUE(QDir().mkpath(desktopFile)); // a folder where the file should go
    uitest::BoxAnswerer answerer;
    ui::exportPipList(nullptr, list);
    ASSERT_EQ(answerer.seen.size(), 2u);
    EXPECT_TRUE(answerer.seen[1].text.startsWith(u"Error: "_s)) << answerer.seen[1];
    EXPECT_TRUE(QFileInfo(desktopFile).isDir());
}

} // namespace
