#include "platform/fault.h"
#include "store/config.h"
#include "store/piplistmodel.h"
#include "store/pips.h"

#include "support/qtprint.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

using namespace store;

namespace {

struct Record {
    int slot;
    QString address, description, identity;
};

class Pips : public ::testing::Test {
protected:
    // Writes a configuration file holding the given records (slots not listed stay empty).
    void writeFile(const QList<Record> &records) {
        QString pips = "[Pips]\r\n", info = "[pipsinfo]\r\n", ids = "[pips_ID]\r\n";
        for (const Record &r : records) {
            pips += slotKey(r.slot) + "=" + r.address + "\r\n";
            info += slotKey(r.slot) + "=" + r.description + "\r\n";
            ids += slotKey(r.slot) + "=" + r.identity + "\r\n";
        }
        QFile file(ini);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(("[General]\r\nver=2.7.9\r\n" + pips + info + ids).toUtf8());
    }

    QList<QStringList> rows(const PipListModel &model) {
        QList<QStringList> out;
        for (int r = 0; r < model.rowCount(); ++r) {
            QStringList row;
            for (int c = 0; c < model.columnCount(); ++c) row << model.index(r, c).data().toString();
            out << row;
        }
        return out;
    }

    QTemporaryDir folder;
    QString ini = folder.filePath("meterlane.ini");
    PipRecords records{ini};
};

QList<Record> numbered(int count) {
    QList<Record> list;
    for (int slot = 1; slot <= count; ++slot)
        list.append({slot, QStringLiteral("10.1.%1.%2").arg(slot / 100).arg(slot % 100),
                     QStringLiteral("room %1").arg(slot), QStringLiteral("id%1").arg(slot)});
    return list;
}

} // namespace

TEST(PipSlots, KeysAndAddressValues) {
    EXPECT_EQ(slotKey(1), "pip001");
    EXPECT_EQ(slotKey(200), "pip200");
    EXPECT_EQ(hostOf("10.0.0.5:0;4;6;8"), "10.0.0.5");
    EXPECT_EQ(keyPointOf("10.0.0.5:0;4;6;8"), "0;4;6;8");
    EXPECT_EQ(keyPointOf("printer7:a:b"), "a:b");
    EXPECT_EQ(hostOf("printer7"), "printer7");
    EXPECT_EQ(keyPointOf("printer7"), "");
}

TEST_F(Pips, FillShowsStoredSlotsInOrderThenNew) {
    writeFile({{1, "10.0.0.5:0;4;6;8", "  Office 1  ", "E1"}, {3, "printer7", "Lab", ""}, {4, "----", "", ""}});
    PipListModel model;
    FillPipList(model, ini);
    const auto shown = rows(model);
    ASSERT_EQ(shown.size(), 4);
    EXPECT_EQ(shown[0], QStringList({"10.0.0.5", "", "", "Office 1", "", "", "", ""}));
    EXPECT_EQ(shown[1][0], "printer7");
    EXPECT_EQ(shown[2][0], "----");
    EXPECT_EQ(shown[3][0], PipListModel::NewRow);
    EXPECT_EQ(model.index(1, 0).data(PipListModel::SlotRole).toInt(), 3);
    EXPECT_EQ(model.index(3, 0).data(PipListModel::SlotRole).toInt(), 2); // "[new]" fills the gap
    EXPECT_EQ(model.index(0, 0).data(PipListModel::IconRole).toInt(), PipListModel::PlainIcon);
    const QStringList titles{"IP", "Model", "ID", "Description", "TotBW", "TotCol", "Toner", "Status"};
    for (int c = 0; c < titles.size(); ++c) EXPECT_EQ(model.headerData(c, Qt::Horizontal).toString(), titles[c]);

    PipListModel empty;
    FillPipList(empty, folder.filePath("missing.ini"));
    EXPECT_EQ(rows(empty), QList<QStringList>({{"[new]", "", "", "", "", "", "", ""}}));
}

TEST_F(Pips, RowUpdateSetsValuesAndTheTonerIcon) {
    writeFile({{1, "10.0.0.5", "", ""}, {2, "10.0.0.6", "", ""}, {3, " 10.0.0.5", "", ""}});
    PipListModel model;
    FillPipList(model, ini);
    EXPECT_TRUE(UpdatePipRow(model, "10.0.0.5 ", "MP C3003", "E1", "123", "45", "Toner K: 5%"));
    for (int row : {0, 2}) {
        EXPECT_EQ(rows(model)[row], QStringList({"10.0.0.5", "MP C3003", "E1", "", "123", "45", "Toner K: 5%", ""}));
        EXPECT_EQ(model.index(row, 0).data(PipListModel::IconRole).toInt(), PipListModel::TonerIcon);
    }
    EXPECT_EQ(rows(model)[1][1], "");
    EXPECT_TRUE(UpdatePipRow(model, "10.0.0.5", "MP C3003", "E1", "124", "45", ""));
    EXPECT_EQ(rows(model)[0][6], "");
    EXPECT_EQ(model.index(0, 0).data(PipListModel::IconRole).toInt(), PipListModel::PlainIcon);

    const auto before = rows(model);
    EXPECT_FALSE(UpdatePipRow(model, "10.9.9.9", "x", "y", "1", "2", "low"));
    EXPECT_EQ(rows(model), before);
}

TEST_F(Pips, StoreKeepsTheIdentityAndMarksBlankFields) {
    writeFile({{1, "10.0.0.5:0;4", "Office", "E1"}});
    records.store(1, "10.0.0.7", "   ");
    EXPECT_EQ(records.address(1), "10.0.0.7");
    EXPECT_EQ(records.description(1), "----");
    EXPECT_EQ(records.identity(1), "E1");
    records.store(2, "", "Hall");
    EXPECT_EQ(records.address(2), "----");
    records.attachKeyPoint(1, "10.0.0.7", "0;4;6;8", "E7");
    EXPECT_EQ(records.address(1), "10.0.0.7:0;4;6;8");
    EXPECT_EQ(records.identity(1), "E7");
    records.reset(1, "10.0.0.7");
    EXPECT_EQ(records.address(1), "10.0.0.7");
    EXPECT_EQ(records.identity(1), "E7");
}

// A key point is read back whole in every form it is stored in: a short one in the address value, a long one in the
// key points file (one entry for two printers of a model, an entry no value refers to any longer dropped); one whose
// entry is gone, or that an earlier release stored whole in the address value, is never taken cut.
TEST_F(Pips, KeyPointsReadBackWholeOrNotAtAll) {
    const QString longer = QStringLiteral("0,") + QStringLiteral("1.3.6.1.4.1.2385.1.1.19.2.1.3.5.4.61,").repeated(8) + "0";
    const QString other = QString(longer).replace("61", "63");
    writeFile({});
    records.attachKeyPoint(1, "127.100.100.140", "0,4,6", "E1");
    records.attachKeyPoint(2, "127.100.100.141", longer, "E2");
    records.attachKeyPoint(4, "127.100.100.143", other, "E4");
    records.attachKeyPoint(4, "127.100.100.143", "0,4,6", "E4"); // searched again: its entry goes at the next write
    records.attachKeyPoint(3, "127.100.100.142", longer, "E3");
    EXPECT_EQ(records.address(1), "127.100.100.140:0,4,6");
    EXPECT_EQ(records.address(2), records.address(3).replace("142", "141"));
    EXPECT_TRUE(records.address(2).startsWith("127.100.100.141:@")) << records.address(2);
    QFile kept(folder.filePath("key-points.ini"));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    const std::string keptText = kept.readAll().toStdString();
    EXPECT_EQ(QByteArray::fromStdString(keptText).count(longer.toUtf8()), 1) << keptText;
    EXPECT_EQ(keptText.find(other.toStdString()), std::string::npos) << keptText;
    const auto stored = [&](int slot) {
        const StoredKeyPoint point = records.keyPoint(slot);
        return QStringList{point.keyPoint, point.kept ? "kept" : "", point.problem};
    };
    EXPECT_EQ(stored(1), (QStringList{"0,4,6", "", ""}));
    EXPECT_EQ(stored(2), (QStringList{longer, "kept", ""}));
    EXPECT_EQ(stored(3), (QStringList{longer, "kept", ""}));

    ASSERT_TRUE(WriteIniValue(ini, "Pips", slotKey(1), "127.100.100.140:" + longer)); // as an earlier release wrote it
    EXPECT_EQ(stored(1), (QStringList{"", "", "reads back cut at 249 characters"}));
    ASSERT_TRUE(QFile::remove(kept.fileName()));
    EXPECT_EQ(stored(2), (QStringList{"", "kept", "is missing from " + kept.fileName()}));
}

TEST_F(Pips, RemovalMovesLaterRecordsDownAndKeepsIdentities) {
    writeFile({{1, "10.0.0.1", "a", "I1"}, {2, "10.0.0.2", "b", "I2"}, {3, "10.0.0.3", "c", "I3"}});
    records.remove(2);
    EXPECT_EQ(records.address(2), "10.0.0.3");
    EXPECT_EQ(records.description(2), "c");
    EXPECT_EQ(records.address(3), "");
    EXPECT_EQ(records.description(3), "");
    EXPECT_EQ(records.identity(2), "I2");
    EXPECT_EQ(records.identity(3), "I3");
    QFile file(ini);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("pip003=\r\n")); // emptied, not deleted
}

TEST_F(Pips, RemovalLosesNothingAcrossAGap) {
    writeFile({{1, "10.0.0.1", "a", ""}, {2, "10.0.0.2", "b", ""}, {4, "10.0.0.4", "d", ""}});
    records.remove(1);
    EXPECT_EQ(records.address(1), "10.0.0.2");
    EXPECT_EQ(records.address(2), "");
    EXPECT_EQ(records.address(3), "10.0.0.4");
    EXPECT_EQ(records.description(3), "d");
    EXPECT_EQ(records.address(4), "");
    EXPECT_EQ(records.firstFreeSlot(), 2);
}

TEST_F(Pips, FullFileRemovalAtFirstAndLastSlot) {
    writeFile(numbered(SlotCount));
    EXPECT_EQ(records.firstFreeSlot(), 0);
    records.remove(SlotCount);
    EXPECT_EQ(records.address(SlotCount), "");
    EXPECT_EQ(records.address(SlotCount - 1), numbered(SlotCount)[SlotCount - 2].address);
    records.remove(1);
    const auto expected = numbered(SlotCount);
    for (int slot = 1; slot <= SlotCount - 2; ++slot) {
        ASSERT_EQ(records.address(slot), expected[slot].address) << slot;
        ASSERT_EQ(records.description(slot), expected[slot].description) << slot;
        ASSERT_EQ(records.identity(slot), expected[slot - 1].identity) << slot;
    }
    EXPECT_EQ(records.address(SlotCount - 1), "");
    EXPECT_EQ(records.firstFreeSlot(), SlotCount - 1);
}

TEST_F(Pips, DownloadedListGoesToSlotsByPosition) {
    writeFile({{1, "10.9.9.9", "old", "I9"}});
    EXPECT_TRUE(records.storeDownloadedList(QStringLiteral("short|10.0.0.6§Lab|10.0.0.7§Hall § extra|")));
    EXPECT_EQ(records.address(1), "10.9.9.9"); // a record under 7 characters leaves its slot alone
    EXPECT_EQ(records.address(2), "10.0.0.6");
    EXPECT_EQ(records.description(2), "Lab");
    QFile file(ini);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("pip003=Hall \r\n")); // stored as it stands, read back trimmed
    EXPECT_EQ(records.identity(1), "I9");

    EXPECT_FALSE(records.storeDownloadedList(QStringLiteral("10.0.0.8§Single")));
    EXPECT_EQ(records.address(1), "10.9.9.9");
}

TEST_F(Pips, DownloadedRecordWithoutDescriptionIsStoredThenFails) {
    writeFile({});
    try {
        records.storeDownloadedList(QStringLiteral("10.0.0.5§Office|10.0.0.6|"));
        FAIL() << "no fault";
    } catch (const platform::Fault &fault) {
        EXPECT_EQ(fault.number, 9);
    }
    EXPECT_EQ(records.address(1), "10.0.0.5");
    EXPECT_EQ(records.description(1), "Office");
    EXPECT_EQ(records.address(2), "10.0.0.6");
    EXPECT_EQ(records.description(2), "");
}
