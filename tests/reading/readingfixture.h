// What every reading engine test stands on: a program folder of its own (log and ini file), the SnmpV1 library and
// counter maps of this build, a system folder that is not the machine's, a recording window, short transport
// time-outs, and a fault agent that serves a table of values.
#pragma once

#include "platform/componentfactory.h"
#include "platform/eventpump.h"
#include "platform/window.h"
#include "reading/keypoint.h"
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
#include <sstream>
#include <string>
#include <vector>

namespace meterlane::test {

inline constexpr const char *PrinterAddress = "127.0.0.34";
inline constexpr const char *PrinterOtherAddress = "127.0.0.35";

// OID → value; every other OID is answered with noSuchName, and a get-next with the OID that follows in the
// agent's order (noSuchName past the last).
using ValueTable = std::map<std::string, WireValue>;

inline Step noSuchName() { return Step{{Reply{.value = WireValue::null(), .errorStatus = 2, .errorIndex = 1}}}; }

inline std::vector<unsigned long> arcsOf(const std::string &oid) {
    std::vector<unsigned long> arcs;
    std::istringstream in(oid);
    for (std::string arc; std::getline(in, arc, '.');) arcs.push_back(std::stoul(arc));
    return arcs;
}

inline void serve(FaultAgent &agent, ValueTable table) {
    agent.setHandler([table = std::move(table)](const Request &request) {
        if (request.pduType == 0xA1) {
            const ValueTable::value_type *next = nullptr;
            for (const auto &entry : table)
                if (arcsOf(entry.first) > arcsOf(request.oid) && (!next || arcsOf(entry.first) < arcsOf(next->first)))
                    next = &entry;
            return next ? answer(next->first, next->second) : noSuchName();
        }
        const auto found = table.find(request.oid);
        return found == table.end() ? noSuchName() : answer(found->second);
    });
}

inline WireValue text(const std::string &value) { return WireValue::octets(value); }

// A key point of count fields (26 unless given), "0" except those given (slot → field).
inline QString keyPoint(const std::map<int, QString> &fields, int count = reading::CounterSlots) {
    QStringList all(count, QStringLiteral("0"));
    for (const auto &[slot, field] : fields) all[slot - 1] = field;
    return all.join(u',');
}

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
