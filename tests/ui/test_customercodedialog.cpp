// The customer code dialog under the offscreen platform, driven by its controls' names: what OK keeps and stores,
// that every other way out changes nothing, its caption, a fresh text box on each opening, and the banner.
#include "store/config.h"
#include "store/globals.h"
#include "ui/customercodedialog.h"

#include "uitest.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

using namespace Qt::StringLiterals;
using uitest::child;
using uitest::readBytes;

class CustomerCodeDialogTest : public uitest::WidgetTest {
protected:
    void SetUp() override {
        WidgetTest::SetUp();
        store::globals().vendorId = u"V42"_s;
        store::globals().customerCode = u"previous"_s;
        ASSERT_TRUE(store::WriteIniValue(store::globals().iniFile, u"Vendor"_s, u"CID"_s, u"OLD-7"_s));
        before = readBytes(store::globals().iniFile);
    }

    QStringList iniLines() const { return QString::fromUtf8(readBytes(store::globals().iniFile)).split(u"\r\n"_s); }

    QByteArray before;
};

TEST_F(CustomerCodeDialogTest, OkKeepsAndStoresTheTextUnchangedAtOnce) {
    ui::CustomerCodeDialog dialog;
    dialog.show();
    QTest::keyClicks(child<QLineEdit>(dialog, u"txtCodeCli"_s), u" ab-12 "_s);
    child<QPushButton>(dialog, u"Command1"_s)->click();

    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(store::globals().customerCode, u" ab-12 "_s);
    EXPECT_TRUE(iniLines().contains(u"CID= ab-12 "_s)) << readBytes(store::globals().iniFile).toStdString();
    EXPECT_FALSE(iniLines().contains(u"CID=OLD-7"_s));
}

TEST_F(CustomerCodeDialogTest, OkWithAnEmptyTextStoresAnEmptyCode) {
    ui::CustomerCodeDialog dialog;
    dialog.show();
    child<QPushButton>(dialog, u"Command1"_s)->click();

    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(store::globals().customerCode.isEmpty());
    EXPECT_TRUE(iniLines().contains(u"CID="_s)) << readBytes(store::globals().iniFile).toStdString();
}

TEST_F(CustomerCodeDialogTest, AnnullaAndTheCloseBoxChangeNothing) {
    for (bool closeBox : {false, true}) {
        ui::CustomerCodeDialog dialog;
        dialog.show();
        QTest::keyClicks(child<QLineEdit>(dialog, u"txtCodeCli"_s), u"NEW-1"_s);
        if (closeBox)
            dialog.close();
        else
            child<QPushButton>(dialog, u"Command2"_s)->click();

        EXPECT_EQ(dialog.result(), QDialog::Rejected) << closeBox;
        EXPECT_FALSE(dialog.isVisible()) << closeBox;
        EXPECT_EQ(store::globals().customerCode, u"previous"_s) << closeBox;
        EXPECT_EQ(readBytes(store::globals().iniFile), before) << closeBox;
    }
}

TEST_F(CustomerCodeDialogTest, ShowsTheExecutableNameAndItsTexts) {
    ui::CustomerCodeDialog dialog;
    EXPECT_EQ(dialog.objectName(), u"frmCodeCli"_s);
    EXPECT_EQ(dialog.windowTitle(), u"ui_tests"_s);
    EXPECT_EQ(child<QPushButton>(dialog, u"Command1"_s)->text(), u"OK"_s);
    EXPECT_EQ(child<QPushButton>(dialog, u"Command2"_s)->text(), u"Annulla"_s);
    QLabel *label = child<QLabel>(dialog, u"Label1"_s);
    EXPECT_EQ(label->text(), u"Inserisci il tuo codice cliente che hai ricevuto nell'email di installazione. Oppure "
                             "chiama il fornitore per avere il tuo codice personale."_s);
    EXPECT_TRUE(label->wordWrap());
}

TEST_F(CustomerCodeDialogTest, AskIsModalAndEachOpeningStartsEmpty) {
    QStringList seen;
    auto answer = [&seen](const QString &typed, const QString &button) {
        QTimer::singleShot(0, [&seen, typed, button] {
            QWidget *modal = QApplication::activeModalWidget();
            if (!modal || modal->objectName() != u"frmCodeCli"_s) {
                seen << u"<no modal dialog>"_s;
                if (modal)
                    modal->close();
                return;
            }
            auto *text = modal->findChild<QLineEdit *>(u"txtCodeCli"_s);
            seen << text->text();
            QTest::keyClicks(text, typed);
            modal->findChild<QPushButton *>(button)->click();
        });
    };

    answer(u"FIRST"_s, u"Command1"_s);
    ui::CustomerCodeDialog::ask();
    EXPECT_EQ(store::globals().customerCode, u"FIRST"_s);

    answer(u"SECOND"_s, u"Command2"_s);
    ui::CustomerCodeDialog::ask();
    EXPECT_EQ(store::globals().customerCode, u"FIRST"_s);
    EXPECT_EQ(store::ReadIniValue(store::globals().iniFile, u"Vendor"_s, u"CID"_s), u"FIRST"_s);
    EXPECT_EQ(seen, QStringList({QString(), QString()}));
}

TEST_F(CustomerCodeDialogTest, LoadsTheVendorBannerWhenThereIsOne) {
    QImage banner(37, 23, QImage::Format_RGB32);
    banner.fill(Qt::red);
    // Another vendor's banner is not ours.
    ASSERT_TRUE(banner.save(folder.filePath(u"V41b.jpg"_s), "JPG"));
    {
        ui::CustomerCodeDialog dialog;
        const QPixmap shown = child<QLabel>(dialog, u"imgCompany"_s)->pixmap();
        EXPECT_EQ(shown.toImage(), ui::CustomerCodeDialog::builtInPicture().toImage());
        EXPECT_FALSE(shown.isNull());
    }
    ASSERT_TRUE(banner.save(folder.filePath(u"V42b.jpg"_s), "JPG"));
    {
        ui::CustomerCodeDialog dialog;
        const QPixmap shown = child<QLabel>(dialog, u"imgCompany"_s)->pixmap();
        EXPECT_EQ(shown.size(), QSize(37, 23));
        EXPECT_NE(shown.toImage(), ui::CustomerCodeDialog::builtInPicture().toImage());
    }
}

TEST_F(CustomerCodeDialogTest, AnUnreadableBannerKeepsTheBuiltInPicture) {
    QFile broken(folder.filePath(u"V42b.jpg"_s));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("not a picture");
    broken.close();
    ui::CustomerCodeDialog dialog;
    EXPECT_EQ(child<QLabel>(dialog, u"imgCompany"_s)->pixmap().toImage(),
              ui::CustomerCodeDialog::builtInPicture().toImage());
}

} // namespace
