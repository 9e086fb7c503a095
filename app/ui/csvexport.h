// The export button: the monitored-printer list as a ";"-separated file "ZOVExport.csv" on the user's desktop,
// offered once the counters have been sent in this run.
#pragma once

#include <QString>

#include <optional>

class QAbstractItemModel;
class QWidget;

namespace ui {

inline const QString ExportFileName = QStringLiteral("ZOVExport.csv");

// The desktop folder + "ZOVExport.csv"; the bare file name (in the current folder) when there is no desktop folder.
QString exportPath();

// The file's text, CR LF after every line: the headers of the first n + 1 columns, each followed by ";" (n = the
// number of sub-items of the first row), then each row whose first column has more than 5 characters, its fields
// joined by ";" as they stand, the lines of a field joined by ", " as the list shows them. Only the printer record's
// seven columns: the list's Status column is not part of the file. Nothing for a list without rows.
std::optional<QString> exportText(const QAbstractItemModel &list);

// The cmdExport handler: "Send data before export" before the first read-and-send cycle; otherwise tells where the
// file goes, writes it anew (UTF-8) and reports any failure as "Error: " + its description.
void exportPipList(QWidget *parent, const QAbstractItemModel &list);

} // namespace ui
