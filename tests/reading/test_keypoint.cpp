// The counter key point: the RICOH counter table walked by name, the fixed key points of the other makes, the
// identity read beside it, and the progress bar the walk drives.
#include "reading/keypoint.h"
#include "reading/brand.h"
#include "readingfixture.h"

#include <atomic>
#include <memory>

namespace {

using namespace meterlane::test;
using namespace std::chrono_literals;
using reading::SearchPrinterKeyPoint;

const std::string RicohIdentity = "1.3.6.1.4.1.367.3.2.1.2.1.4.0";
const std::string NameRow = "1.3.6.1.4.1.367.3.2.1.2.19.5.1.5.";

// A RICOH printer whose counter table holds the names at the rows given.
ValueTable ricohTable(const std::map<int, std::string> &names) {
    ValueTable table{{RicohIdentity, text("E174M610045")}};
    for (const auto &[row, name] : names) table[NameRow + std::to_string(row)] = text(name);
    return table;
}


class KeyPoint : public ReadingTest {};

TEST_F(KeyPoint, RicohRowsAreFoundByExactNameAndTheHighestRowWins) {
    struct Case {
        const char *what;
        std::map<int, std::string> names;
        std::map<int, QString> expected;
    };
    const Case cases[] = {
        {"alternative print name where the main one is missing",
         {{1, "Counter: Machine Total"}, {4, "Counter:Print:Black & White"}},
         {{1, "1"}, {4, "4"}}},
        {"main name beats an alternative on a higher row",
         {{3, "Printer: Black & White"}, {7, "Counter:Print:Black & White"}, {9, "Counter:Copy:Black & White"}},
         {{4, "3"}, {6, "9"}}},
        {"highest row of a repeated name, rows 1 and 150 included",
         {{2, "Copier: Color"}, {140, "Copier: Color"}, {150, "Coverage: Full Color: Printer"},
          {151, "Counter: Machine Total"}},
         {{7, "140"}, {26, "150"}}},
        {"both fax alternatives fill slot 8, the higher row wins",
         {{10, "Counter:FAX:Black & White"}, {12, "Counter:Fax:Black & White"}, {13, "Counter:FAX:Black & White"}},
         {{8, "13"}}},
        {"near misses match nothing",
         {{5, "Copier: Color "}, {6, "copier: color"}, {7, " Printer: Color"}, {8, "Counter:fax:Black & White"},
          {9, "Counter: Machine Total\n"}},
         {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        serve(agent, ricohTable(c.names));
        QString identity;
        EXPECT_EQ(SearchPrinterKeyPoint(reading::Ricoh, address, identity), keyPoint(c.expected));
        EXPECT_EQ(identity, QStringLiteral("E174M610045"));
    }
}

TEST_F(KeyPoint, EveryCounterNameSelectsItsSlot) {
    const char *names[] = {"Counter: Machine Total", "Total Prints: Black & White", "Total Prints: Color",
                           "Printer: Black & White", "Printer: Color", "Copier: Black & White", "Copier: Color",
                           "Fax: Black & White", "Large Paper Prints: >=A3,DLT", "No. of Printed Sides in Duplex",
                           "Coverage: Color", "Coverage: Black & White", "Counter:Transmission:Total",
                           "Counter:Transmission:B&W", "Counter:Transmission:FAX", "Counter:Transmission:Color Scan",
                           "Counter:Transmission:B&W Scan", "Color Coverage & Distribution 1",
                           "Color Coverage & Distribution 2", "Color Coverage & Distribution 3",
                           "Coverage: Color Print Page", "Coverage: B & W print Page", "Coverage: B&W: Copier",
                           "Coverage: Full Color: Copier", "Coverage: B&W: Printer", "Coverage: Full Color: Printer"};
    std::map<int, std::string> rows;
    std::map<int, QString> expected;
    for (int slot = 1; slot <= 26; ++slot) {
        rows[127 - slot] = names[slot - 1]; // in reverse order, rows 101 to 126
        expected[slot] = QString::number(127 - slot);
    }
    serve(agent, ricohTable(rows));
    QString identity;
    EXPECT_EQ(SearchPrinterKeyPoint(reading::Ricoh, address, identity), keyPoint(expected));

    // One read for the identity, then the rows 1 to 150 in order.
    const auto seen = agent.requests();
    ASSERT_EQ(seen.size(), 151u);
    EXPECT_EQ(seen[0].oid, RicohIdentity);
    for (int row = 1; row <= 150; ++row) EXPECT_EQ(seen[row].oid, NameRow + std::to_string(row));
    EXPECT_EQ(window.statuses, QStringList{QStringLiteral("Scanning 127.0.0.34")});
    ASSERT_EQ(window.steps.size(), 150u);
    for (int row = 1; row <= 150; ++row) EXPECT_EQ(window.steps[row - 1], std::make_pair(row, 150));
    EXPECT_EQ(window.barCalls.first(), QStringLiteral("show"));
    EXPECT_EQ(window.barCalls.last(), QStringLiteral("hide"));
}

TEST_F(KeyPoint, RicohThatAnswersNoRowOrFallsSilentKeepsWhatItFound) {
    serve(agent, ricohTable({}));
    QString identity;
    EXPECT_EQ(SearchPrinterKeyPoint(reading::Ricoh, address, identity), keyPoint({}));
    EXPECT_EQ(logMessages().size(), 150); // each failed row read is logged by the reader

    TransportSettings quick(10, 0);
    const ValueTable table = ricohTable({{1, "Counter: Machine Total"}, {3, "Copier: Color"}, {9, "Printer: Color"}});
    agent.clearRequests();
    agent.setHandler([&table, answered = std::make_shared<std::atomic<int>>(0)](const Request &request) {
        if (++*answered > 5) return silence(); // identity and rows 1 to 4
        const auto found = table.find(request.oid);
        return found == table.end() ? noSuchName() : answer(found->second);
    });
    EXPECT_EQ(SearchPrinterKeyPoint(reading::Ricoh, address, identity), keyPoint({{1, "1"}, {7, "3"}}));
    EXPECT_EQ(agent.requestCount(), 151u);
    EXPECT_EQ(window.steps.back(), std::make_pair(150, 150));
    EXPECT_FALSE(window.barVisible());
}

// With the standard Printer MIB readings off no counter map is read: one read of the identity, as ever. (Maps: the
// makes' test.)
TEST_F(KeyPoint, OtherMakesHaveFixedKeyPoints) {
    setSetting(QStringLiteral("StandardPrinterMib"), QStringLiteral("0"));
    const QString pageCount = QStringLiteral("1.3.6.1.2.1.43.10.2.1.4.1.1");
    struct Case {
        short brand;
        QString keyPoint, identity;
        std::size_t requests;
    };
    const Case cases[] = {
        {reading::Oki,
         keyPoint({{2, QStringLiteral("1.3.6.1.4.1.2001.1.1.1.1.11.1.10.130.0")},
                   {3, QStringLiteral("1.3.6.1.4.1.2001.1.1.1.1.11.1.10.140.0")}}),
         QStringLiteral("oki-id"), 1},
        {reading::Hp, keyPoint({{2, pageCount}}), QStringLiteral("printer-mib-id"), 1},
        {reading::Brother, keyPoint({{2, pageCount}}), QStringLiteral("brother-private-id"), 1},
        {reading::StandardPrinter, keyPoint({{2, pageCount}}), QStringLiteral("printer-mib-id"), 1},
        {reading::Kyocera, keyPoint({}), QStringLiteral("untouched"), 0},
        {reading::Unknown, keyPoint({}), QStringLiteral("untouched"), 0},
        {7, keyPoint({}), QStringLiteral("untouched"), 0},
    };
    serve(agent, {{RicohIdentity, text("ricoh-id")},
                  {"1.3.6.1.4.1.2001.1.1.1.1.11.1.10.45.0", text("oki-id")},
                  {"1.3.6.1.2.1.43.5.1.1.17.1", text("printer-mib-id")},
                  {"1.3.6.1.4.1.2435.2.3.9.4.2.1.5.5.1.0", text("brother-private-id")}});
    for (const auto &c : cases) {
        SCOPED_TRACE(c.brand);
        agent.clearRequests();
        window = RecordingWindow();
        QString identity = QStringLiteral("untouched");
        EXPECT_EQ(SearchPrinterKeyPoint(c.brand, address, identity), c.keyPoint);
        EXPECT_EQ(identity, c.identity);
        EXPECT_EQ(agent.requestCount(), c.requests);
        EXPECT_EQ(window.statuses, QStringList{QStringLiteral("Scanning 127.0.0.34")});
        EXPECT_EQ(window.barCalls, (QStringList{QStringLiteral("show"), QStringLiteral("hide")}));
    }
    EXPECT_TRUE(logMessages().isEmpty()) << logMessages().join(u'\n');
}

TEST_F(KeyPoint, BrotherIdentityIsItsPrivateOneUnlessThatFailsOrIsEmpty) {
    const std::string Private = "1.3.6.1.4.1.2435.2.3.9.4.2.1.5.5.1.0", Standard = "1.3.6.1.2.1.43.5.1.1.17.1";
    const struct {
        const char *privateId, *standardId; // nullptr: the printer lacks the OID
        QString identity;
    } cases[] = {
        {"E78123K9N654321", "000F2A1B3C4D", QStringLiteral("E78123K9N654321")},
        {nullptr, "000F2A1B3C4D", QStringLiteral("000F2A1B3C4D")},
        {"", "000F2A1B3C4D", QStringLiteral("000F2A1B3C4D")},
        {"E78123K9N654321", nullptr, QStringLiteral("E78123K9N654321")},
        {nullptr, nullptr, QStringLiteral("-10000")},
    };
    for (const auto &c : cases) {
        ValueTable table;
        if (c.privateId) table[Private] = text(c.privateId);
        if (c.standardId) table[Standard] = text(c.standardId);
        serve(agent, table);
        EXPECT_EQ(reading::brotherIdentity(address), c.identity);
    }
}

TEST_F(KeyPoint, WindowFaultsAreLoggedAndTheTenthEndsTheSearch) {
    serve(agent, ricohTable({{1, "Counter: Machine Total"}}));
    QString identity;

    // A status line that cannot be updated costs one fault; the bar is still shown and the walk still runs.
    window.failing = RecordingWindow::Member::SetStatus;
    EXPECT_EQ(SearchPrinterKeyPoint(reading::Ricoh, address, identity), keyPoint({{1, "1"}}));
    const QString fault = QStringLiteral("errSearchPrinterKeyPoint 424 Object required");
    EXPECT_EQ(logMessages().filter(QStringLiteral("errSearchPrinterKeyPoint")), QStringList{fault});
    EXPECT_EQ(window.barCalls.first(), QStringLiteral("show"));
    EXPECT_EQ(window.steps.size(), 150u);

    // A bar that cannot be stepped: the tenth row's fault ends the walk at once.
    QFile::remove(store::globals().programFolder + QStringLiteral("/log/zov.log"));
    window = RecordingWindow();
    window.failing = RecordingWindow::Member::SetProgress;
    agent.clearRequests();
    EXPECT_EQ(SearchPrinterKeyPoint(reading::Ricoh, address, identity), QString());
    EXPECT_EQ(agent.requestCount(), 1u + 10u);
    EXPECT_EQ(logMessages().filter(QStringLiteral("errSearchPrinterKeyPoint")), QStringList(10, fault));
}

} // namespace
