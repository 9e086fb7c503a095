#include "piplistmodel.h"

#include "pips.h"

#include <QRegularExpression>

namespace store {

PipListModel::PipListModel(QObject *parent) : QAbstractTableModel(parent) {}

int PipListModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int PipListModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant PipListModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || index.row() >= rows_.size() || index.column() >= ColumnCount) return {};
    const Row &row = rows_[index.row()];
    switch (role) {
    case Qt::DisplayRole: return row.columns[index.column()];
    case IconRole: return index.column() == Ip ? QVariant(row.icon) : QVariant();
    case SlotRole: return row.slot;
    case AttentionRole: return int(row.attention);
    case ConditionsRole: return row.conditions;
    default: return {};
    }
}

QVariant PipListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    static const QStringList titles{QStringLiteral("IP"),    QStringLiteral("Model"),  QStringLiteral("ID"),
                                    QStringLiteral("Description"), QStringLiteral("TotBW"), QStringLiteral("TotCol"),
                                    QStringLiteral("Toner"), QStringLiteral("Status")};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount) return {};
    return titles[section];
}

void PipListModel::fill(const QString &iniFile) {
    const PipRecords records(iniFile);
    QList<Row> rows;
    int firstFree = 0;
    for (int slot = 1; slot <= SlotCount; ++slot) {
        const QString address = records.address(slot);
        if (address.isEmpty()) {
            if (firstFree == 0) firstFree = slot;
            continue;
        }
        QStringList columns(ColumnCount);
        columns[Ip] = hostOf(address);
        columns[Description] = records.description(slot).trimmed();
        rows.append({columns, PlainIcon, slot});
    }
    QStringList newRow(ColumnCount);
    newRow[Ip] = NewRow;
    rows.append({newRow, PlainIcon, firstFree});

    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

template <typename Change> bool PipListModel::changeRowsOf(const QString &host, Change change) {
    bool matched = false;
    for (qsizetype i = 0; i < rows_.size(); ++i) {
        Row &row = rows_[i];
        if (row.columns[Ip].trimmed() != host.trimmed()) continue;
        matched = true;
        change(row);
        emit dataChanged(index(static_cast<int>(i), 0), index(static_cast<int>(i), ColumnCount - 1));
    }
    return matched;
}

bool PipListModel::updateRow(const QString &host, const QString &model, const QString &identity,
                             const QString &totalBW, const QString &totalColour, const QString &tonerWarning) {
    return changeRowsOf(host, [&](Row &row) {
        row.columns[Model] = model;
        row.columns[Id] = identity;
        row.columns[TotalBW] = totalBW;
        row.columns[TotalColour] = totalColour;
        row.columns[Toner] = tonerWarning;
        row.icon = tonerWarning.isEmpty() ? PlainIcon : TonerIcon;
    });
}

bool PipListModel::updateStatus(const QString &host, const QString &status, platform::Attention attention,
                                const QString &conditions) {
    return changeRowsOf(host, [&](Row &row) {
        row.columns[Status] = status;
        row.attention = attention;
        row.conditions = conditions;
    });
}

QString joinedLines(const QString &text) {
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    return QString(text).replace(lineBreak, QStringLiteral(", "));
}

void FillPipList(PipListModel &list, const QString &iniFile) { list.fill(iniFile); }

bool UpdatePipRow(PipListModel &list, const QString &host, const QString &model, const QString &identity,
                  const QString &totalBW, const QString &totalColour, const QString &tonerWarning) {
    return list.updateRow(host, model, identity, totalBW, totalColour, tonerWarning);
}

} // namespace store
