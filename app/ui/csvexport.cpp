#include "csvexport.h"

#include "programtitle.h"
#include "store/globals.h"
#include "store/piplistmodel.h"

#include <QAbstractItemModel>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QStandardPaths>

#include <algorithm>

namespace ui {

using namespace Qt::StringLiterals;

namespace {

const QString Title = u"Yonderlook"_s;
const QString LineEnd = u"\r\n"_s;
constexpr int ShortestExportedText = 6;

// A field on one line: a spreadsheet would take a line break inside it for the start of another row.
QString cell(const QAbstractItemModel &list, int row, int column) {
    return store::joinedLines(list.data(list.index(row, column)).toString());
}

// Writes the file anew; the description of what failed, empty when it was written whole.
QString writeExport(const QString &path, const QAbstractItemModel &list) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.exists() && !file.remove()) return file.errorString();
    if (!file.open(QIODevice::WriteOnly)) return file.errorString();
    const std::optional<QString> text = exportText(list);
    if (!text) return u"The printer list has no rows"_s;
    const QByteArray bytes = text->toUtf8();
    if (file.write(bytes) != bytes.size() || !file.flush()) return file.errorString();
    file.close();
    return file.error() == QFileDevice::NoError ? QString() : file.errorString();
}

} // namespace

QString exportPath() {
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    return desktop.isEmpty() ? ExportFileName : QDir::toNativeSeparators(QDir(desktop).filePath(ExportFileName));
}

std::optional<QString> exportText(const QAbstractItemModel &list) {
    if (list.rowCount() == 0) return std::nullopt;
    // The first row's text and its sub-items, as far as the printer record goes.
    const int columns = std::min(list.columnCount(), int(store::PipListModel::RecordColumns));
    QString text;
    for (int column = 0; column < columns; ++column)
        text += list.headerData(column, Qt::Horizontal).toString() + u';';
    text += LineEnd;
    for (int row = 0; row < list.rowCount(); ++row) {
        QString line = cell(list, row, 0);
        if (line.size() < ShortestExportedText) continue;
        for (int column = 1; column < columns; ++column) line += u';' + cell(list, row, column);
        text += line + LineEnd;
    }
    return text;
}

void exportPipList(QWidget *parent, const QAbstractItemModel &list) {
    if (!store::globals().dataSent) {
        QMessageBox::warning(parent, Title, u"Send data before export"_s);
        return;
    }
    const QString path = exportPath();
    QMessageBox::warning(parent, Title, u"File available on desktop "_s + LineEnd + path);
    const QString failure = writeExport(path, list);
    if (failure.isEmpty()) return;
    QMessageBox error(QMessageBox::NoIcon, programTitle(), u"Error: "_s + failure, QMessageBox::Ok, parent);
    error.exec();
}

} // namespace ui
