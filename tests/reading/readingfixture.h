// What every reading engine test stands on: a program folder of its own (log and ini file), the SnmpV1 library and
// counter maps of this build, a system folder that is not the machine's, a recording window, short transport
// time-outs, and a fault agent that serves a table of values.
#pragma once

#include "platform/componentfactory.h"
#include "platform/eventpump.h"
#include "platform/window.h"
#include "store/config.h"
#include "store/globals.h"
#include "support/faultagent.h"
#include "support/logmessages.h"
#include "support/qtprint.h"
#include "support/recordingwindow.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <map>
#include <string>

namespace meterlane::test {

inline constexpr const char *PrinterAddress = "127.0.0.34";
inline constexpr const char *PrinterOtherAddress = "127.0.0.35";

// OID → value; every other OID is answered with noSuchName.
using ValueTable = std::map<std::string, WireValue>;

inline Step noSuchName() { return Step{{Reply{.value = WireValue::null(), .errorStatus = 2, .errorIndex = 1}}}; }

inline void serve(FaultAgent &agent, ValueTable table) {
    agent.setHandler([table = std::move(table)](const Request &request) {
        const auto found = table.find(request.oid);
        return found == table.end() ? noSuchName() : answer(found->second);
    });
}

inline WireValue text(const std::string &value) { return WireValue::octets(value); }

class ReadingTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        qputenv("METERLANE_SYSTEM_FOLDER", folder.filePath(QStringLiteral("etc")).toUtf8());
        store::setProgramFolder(folder.path());
        store::globals().vendorId = QStringLiteral("V042");
        platform::setLibraryFolder(QStringLiteral(METERLANE_BIN_DIR));
        platform::setWindow(&window);
    }
    void TearDown() override {
        platform::setWindow(nullptr);
        platform::setEventPump(nullptr);
        qunsetenv("METERLANE_SYSTEM_FOLDER");
    }

    static void setSetting(const QString &key, const QString &value) {
        ASSERT_TRUE(store::WriteIniValue(store::globals().iniFile, QStringLiteral("Settings"), key, value));
    }

    static QStringList logMessages() { return testsupport::logMessages(); }

    QTemporaryDir folder;
    RecordingWindow window;
    TransportSettings transport{200, 0};
    FaultAgent agent{PrinterAddress, PrinterOtherAddress};
    const QString address = QString::fromLatin1(PrinterAddress);
};

} // namespace meterlane::test
