// "History": what the history store holds of one printer, its pages per month as bars (black-and-white and colour,
// an estimated month lighter), each supply's level over time as lines, and each supply's days left; and "Export CSV",
// the monthly usage of every printer of the store in a file the user chooses. The store is read on a connection of
// the view's own in a thread of its own, so that the view opens at once and the window never waits; the view may be
// closed while it loads, and the result is then dropped.
#pragma once

#include "store/usage.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace ui {

class Chart;
struct StoredHistory;

// The monthly usage as a file's text (RFC 4180: commas, CR LF, fields quoted where they must be): a header line,
// then host, month, black-and-white pages, colour pages and whether the month is complete ("yes"/"no").
QString usageCsv(const QList<store::Usage> &months);

class HistoryDialog : public QDialog {
    Q_OBJECT
public:
    // host: the list row's host, as the store names it; model and description: what the row says of the printer.
    HistoryDialog(const QString &host, const QString &model, const QString &description, QWidget *parent = nullptr);

    bool loading() const { return loading_; }
    bool exporting() const { return exporting_; }

    static constexpr int ShownMonths = 24;

private:
    void load();
    void showStored(const StoredHistory &stored);
    void exportCsv(); // cmdExport

    QString host_;
    bool loading_ = false, exporting_ = false;
    QLabel *lblPrinter, *lblState, *lblEstimated, *lblExport;
    Chart *chtPages, *chtSupplies;
    QTreeWidget *lvSupplies;
    QPushButton *cmdExport;
};

} // namespace ui
