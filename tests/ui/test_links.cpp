// The portal button with its token, the link and mail routines, and the about box: what each hands to the desktop
// (taken by a recorder, nothing is really opened) and which boxes the user sees.
#include "store/config.h"
#include "ui/aboutbox.h"
#include "ui/links.h"
#include "uitest.h"
#include "store/servicetable.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QUrlQuery>

namespace {

using namespace Qt::StringLiterals;
using uitest::SeenBox;
using uitest::UrlRecorder;
using uitest::ClosedServiceRoot;


class LinksTest : public uitest::WidgetTest {
protected:
    void SetUp() override {
        WidgetTest::SetUp();
        qputenv("METERLANE_SERVICE_URL", ClosedServiceRoot.toUtf8());
    }
    void TearDown() override { qunsetenv("METERLANE_SERVICE_URL"); }

    static void storeCode(const QString &code) {
        ASSERT_TRUE(store::WriteIniValue(store::globals().iniFile, u"Vendor"_s, u"CID"_s, code));
    }
    // The token's middle part, between its two runs of 12 digits.
    static QString tokenMiddle(const QUrl &opened) {
        const QString token = QUrlQuery(opened).queryItemValue(u"t"_s);
        const auto match = QRegularExpression(u"^[0-9]{12}(-?[0-9]+)[0-9]{12}$"_s).match(token);
        EXPECT_TRUE(match.hasMatch()) << token.toStdString();
        return match.captured(1);
    }

    UrlRecorder recorder;
};

TEST(CustomerNumber, TheIntegerPartOfADecimalNumberOnly) {
    const std::pair<const char *, std::optional<qint64>> cases[] = {
        {"1234", 1234}, {" 77 ", 77},          {"12.9", 12},         {"-2.5", -3},       {"0", 0},
        {"", {}},       {"abc", {}},           {"12abc", {}},        {"1 2", {}},        {"inf", {}},
        {"nan", {}},    {"1e30", {}},          {"0x10", {}},         {"9999999", 9999999},
    };
    for (const auto &[code, number] : cases) EXPECT_EQ(ui::customerNumber(QString::fromUtf8(code)), number) << code;
}

TEST_F(LinksTest, PortalOpensWithANewTokenAroundTheSameCustomerPart) {
    storeCode(u"1234"_s);
    uitest::BoxAnswerer answerer;
    ui::openPortal(nullptr);
    ui::openPortal(nullptr);
    EXPECT_TRUE(answerer.seen.empty());
    EXPECT_EQ(answerer.dialogs, 0) << "a stored code needs no dialog";
    ASSERT_EQ(recorder.opened.size(), 2u);
    for (const QUrl &opened : recorder.opened) {
        EXPECT_EQ(opened.toString(QUrl::RemoveQuery), ClosedServiceRoot + u"/ylk/portal/customer"_s);
        EXPECT_EQ(tokenMiddle(opened), QString::number(store::TokenOffset - 1234));
    }
    EXPECT_NE(recorder.opened[0], recorder.opened[1]);
}

TEST_F(LinksTest, ACodeLargerThanTheOffsetGivesANegativeMiddle) {
    storeCode(u"9999999"_s);
    ui::openPortal(nullptr);
    ASSERT_EQ(recorder.opened.size(), 1u);
    EXPECT_EQ(tokenMiddle(recorder.opened[0]), u"-2694805"_s);
}

TEST_F(LinksTest, WithoutACodeTheDialogAsksAndACancelStopsSilently) {
    uitest::BoxAnswerer answerer;
    answerer.onDialog = [](QDialog *dialog) { dialog->reject(); };
    ui::openPortal(nullptr);
    EXPECT_EQ(answerer.dialogs, 1);
    EXPECT_TRUE(answerer.seen.empty());
    EXPECT_TRUE(recorder.opened.empty());

    answerer.onDialog = [](QDialog *dialog) {
        QTest::keyClicks(dialog->findChild<QLineEdit *>(u"txtCodeCli"_s), u"77"_s);
        dialog->findChild<QPushButton *>(u"Command1"_s)->click();
    };
    ui::openPortal(nullptr);
    EXPECT_EQ(answerer.dialogs, 2);
    ASSERT_EQ(recorder.opened.size(), 1u);
    EXPECT_EQ(tokenMiddle(recorder.opened[0]), QString::number(store::TokenOffset - 77));
}

TEST_F(LinksTest, NoPortalForACodeThatIsNoNumberOrAnUnknownVendor) {
    storeCode(u"ABC-12"_s);
    ui::openPortal(nullptr);
    EXPECT_TRUE(recorder.opened.empty());

    storeCode(u"12"_s);
    store::globals().vendorId = u"ylk"_s; // letter case counts
    ui::openPortal(nullptr);
    EXPECT_TRUE(recorder.opened.empty());

    store::globals().vendorId = u"JUNOPRINT"_s; // a portal that takes no token
    ui::openPortal(nullptr);
    ASSERT_EQ(recorder.opened.size(), 1u);
    EXPECT_EQ(recorder.opened[0].toString(), ClosedServiceRoot + u"/junoprint/portal/"_s);
}

TEST_F(LinksTest, JumpToOpensTheAddressAndReportsWhatCannotBeOpened) {
    uitest::BoxAnswerer answerer;
    ui::jumpTo(nullptr, QString());
    EXPECT_TRUE(recorder.opened.empty());
    EXPECT_TRUE(answerer.seen.empty());

    ui::jumpTo(nullptr, ui::MakerWebSite);
    ASSERT_EQ(recorder.opened.size(), 1u);
    EXPECT_EQ(recorder.opened[0], QUrl(u"https://www.meterlane.example"_s));
    EXPECT_TRUE(answerer.seen.empty());

    ui::jumpTo(nullptr, u"https://bad host/"_s);
    EXPECT_EQ(recorder.opened.size(), 1u);
    EXPECT_EQ(answerer.seen, std::vector<SeenBox>({{u"Warning"_s, u"Error jumping to:https://bad host/"_s,
                                                    QMessageBox::Warning}}));
}

TEST_F(LinksTest, OpenFailureOfTheDesktopIsReported) {
    QObject refusing;
    QDesktopServices::setUrlHandler(u"refused"_s, &refusing, "noSuchSlot"); // the call fails: openUrl says false
    uitest::BoxAnswerer answerer;
    ui::jumpTo(nullptr, u"refused:page"_s);
    QDesktopServices::unsetUrlHandler(u"refused"_s);
    EXPECT_EQ(answerer.seen, std::vector<SeenBox>({{u"Warning"_s, u"Error jumping to:refused:page"_s,
                                                    QMessageBox::Warning}}));
}

TEST_F(LinksTest, MailToTheMakerWithEmptyFields) {
    EXPECT_EQ(ui::mailText(), u"mailto:support@meterlane.example?cc=&bcc=&subject=Yonderlook ZOV&body="_s);
    ui::mailMaker();
    ASSERT_EQ(recorder.opened.size(), 1u);
    const QUrl &mail = recorder.opened[0];
    EXPECT_EQ(mail.scheme(), u"mailto"_s);
    EXPECT_EQ(mail.path(), u"support@meterlane.example"_s);
    EXPECT_EQ(QUrlQuery(mail).toString(QUrl::FullyDecoded), u"cc=&bcc=&subject=Yonderlook ZOV&body="_s);
}

TEST_F(LinksTest, AboutBoxLeadsToTheWebSiteAndTheMail) {
    ui::AboutBox box;
    EXPECT_EQ(box.objectName(), u"frmCastorel"_s);
    EXPECT_EQ(box.windowTitle(), u"info"_s);
    QStringList texts;
    for (const QLabel *label : box.findChildren<QLabel *>()) texts << label->text();
    EXPECT_TRUE(texts.contains(u"developed by:"_s));
    EXPECT_TRUE(texts.contains(u"Custom Software Development"_s));
    auto *logo = box.findChild<QLabel *>(u"Image1"_s);
    auto *address = box.findChild<QLabel *>(u"Label2"_s);
    auto *ok = box.findChild<QPushButton *>(u"cmdOK"_s);
    ASSERT_TRUE(logo && address && ok);
    EXPECT_FALSE(logo->pixmap().isNull());
    EXPECT_TRUE(address->text().contains(ui::MakerContact));
    EXPECT_EQ(ok->text(), u"OK"_s);

    box.show();
    QTest::mouseClick(logo, Qt::RightButton);
    EXPECT_TRUE(recorder.opened.empty()) << "only the left button follows a link";
    QTest::mouseClick(logo, Qt::LeftButton);
    QTest::mouseClick(address, Qt::LeftButton);
    ASSERT_EQ(recorder.opened.size(), 2u);
    EXPECT_EQ(recorder.opened[0], QUrl(ui::MakerWebSite));
    EXPECT_EQ(recorder.opened[1].scheme(), u"mailto"_s);

    ok->click();
    EXPECT_FALSE(box.isVisible());
}

TEST_F(LinksTest, ShowAboutIsModal) {
    uitest::BoxAnswerer answerer;
    QString seen;
    answerer.onDialog = [&seen](QDialog *dialog) {
        seen = dialog->objectName();
        dialog->findChild<QPushButton *>(u"cmdOK"_s)->click();
    };
    ui::AboutBox::showAbout(nullptr);
    EXPECT_EQ(seen, u"frmCastorel"_s);
}

} // namespace
