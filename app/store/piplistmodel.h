// The list of monitored printers as the main window shows it: one row per stored record, in slot order, then the
// row "[new]". The printer record's seven columns (IP, Model, ID, Description, TotBW, TotCol, Toner), which the export
// writes, then the printer's condition (Status), which stays the window's own.
#pragma once

#include "platform/window.h"

#include <QAbstractTableModel>
#include <QList>

namespace store {

class PipListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Ip, Model, Id, Description, TotalBW, TotalColour, Toner, Status, ColumnCount };
    static constexpr int RecordColumns = Status; // the record's columns, before the condition
    enum Role {
        IconRole = Qt::UserRole + 1, // 1 for an ordinary row, 3 for a row with a toner warning
        SlotRole,                    // the slot a row shows; for "[new]" the first empty slot (0 when none)
        AttentionRole,               // how much the printer's condition asks of the user (platform::Attention)
        ConditionsRole,              // the printer's active conditions with their times, one per line
    };
    static constexpr int PlainIcon = 1;
    static constexpr int TonerIcon = 3;
    static inline const QString NewRow = QStringLiteral("[new]");

    explicit PipListModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Rebuilds the rows from the records of the configuration file.
    void fill(const QString &iniFile);
    // Puts freshly read values into every row whose text is the host (both trimmed); false when none is.
    bool updateRow(const QString &host, const QString &model, const QString &identity, const QString &totalBW,
                   const QString &totalColour, const QString &tonerWarning);
    // Puts a printer's condition into every row of the host, as updateRow finds them; false when none is.
    bool updateStatus(const QString &host, const QString &status, platform::Attention attention,
                      const QString &conditions);

private:
    struct Row {
        QStringList columns;
        int icon = PlainIcon;
        int slot = 0;
        platform::Attention attention = platform::Attention::None;
        QString conditions = {};
    };
    // Calls change on every row whose text is the host (both trimmed) and tells the view; false when none is.
    template <typename Change> bool changeRowsOf(const QString &host, Change change);
    QList<Row> rows_;
};

// A cell's lines on one line, joined by ", ", as the list and the export show them (a toner warning holds one line
// per cartridge).
QString joinedLines(const QString &text);

// The list fill and the row update under the names the rest of the program uses.
void FillPipList(PipListModel &list, const QString &iniFile);
bool UpdatePipRow(PipListModel &list, const QString &host, const QString &model, const QString &identity,
                  const QString &totalBW, const QString &totalColour, const QString &tonerWarning);

} // namespace store
