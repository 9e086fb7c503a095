// The printer's announcement for hosts that cannot be resolved (in a network namespace of our own) and for a vendor
// without an announcement address; the printer dialog's tests send one from a simulated printer.
#include "discovery/printerdialog.h"
#include "platform/componentfactory.h"
#include "platform/window.h"
#include "store/globals.h"
#include "support/faultagent.h"
#include "support/logmessages.h"
#include "support/qtprint.h"
#include "support/privatenetwork.h"
#include "support/recordingwindow.h"
#include "upload/scrambler.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

using namespace Qt::StringLiterals;

const QString ServiceRoot = u"http://127.0.0.1:9"_s;

class Announcement : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        store::setProgramFolder(folder.path());
        store::globals().vendorId = u"YLK"_s;
        qputenv("METERLANE_SERVICE_URL", ServiceRoot.toUtf8());
        platform::setLibraryFolder(QStringLiteral(METERLANE_BIN_DIR));
        platform::setWindow(&window);
    }
    void TearDown() override {
        platform::setWindow(nullptr);
        qunsetenv("METERLANE_SERVICE_URL");
    }

    static QString announced(const QString &identity, const QString &location) {
        return ServiceRoot + u"/ylk/meter/announce?d=YLK;"_s + upload::EncodeText(u"004"_s) + u"&PRNSER="_s +
               identity + u"&PRNUBI="_s + location;
    }

    QTemporaryDir folder;
    meterlane::test::RecordingWindow window;
    meterlane::test::TransportSettings transport{300, 0};
};

TEST_F(Announcement, AHostThatCannotBeResolvedIsAnnouncedAsUnknown) {
    testsupport::PrivateNetwork network; // the name lookup fails here at once, and goes nowhere
    ASSERT_TRUE(network.ready()) << network.failure();
    for (const QString &typed : {u"no-such-printer"_s, u"----"_s}) {
        QString host = typed;
        QString location;
        discovery::updateServer(host, location);
        EXPECT_EQ(host, QString()) << "the host as resolved";
        EXPECT_EQ(location, u"-"_s) << "an empty location";
    }
    EXPECT_EQ(testsupport::logMessages().filter(ServiceRoot), QStringList(2, announced(u"unknow"_s, u"-"_s)));
    EXPECT_EQ(window.navigations.size(), 2u);
}

TEST_F(Announcement, AnUnknownVendorHasNoAnnouncementAddress) {
    store::globals().vendorId = u"NOBODY"_s;
    QString host = u"----"_s;
    QString location = u"x"_s;
    discovery::updateServer(host, location);
    ASSERT_EQ(window.navigations.size(), 1u);
    EXPECT_TRUE(window.navigations[0].isEmpty());
}

} // namespace
