// "Find printers...": the search for a site's printers in a window. The range comes prefilled with the machine's own
// subnets; the search runs in small steps on the window's loop, so the window never blocks, and closing the dialog
// stops it. Each new printer found has a check box; "Add" puts the checked ones into free slots and announces them
// as meterlane-cli discover --add does.
#pragma once

#include "discovery/printersearch.h"

#include <QDialog>
#include <QTimer>

#include <functional>
#include <memory>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTreeWidget;

namespace ui {

class FindPrintersDialog : public QDialog {
    Q_OBJECT

public:
    // added: called after printers were added (the main window refills lvPips).
    explicit FindPrintersDialog(std::function<void()> added, QWidget *parent = nullptr);
    ~FindPrintersDialog() override;

    bool searching() const { return search_ != nullptr; }

protected:
    void done(int result) override;

private:
    void startSearch();   // cmdSearch "Search"
    void step();          // one step of the search, from the timer
    void showResults();
    void addChecked();    // cmdAdd "Add"
    void stopSearch();

    std::function<void()> added_;
    std::unique_ptr<discovery::PrinterSearch> search_;
    QList<discovery::FoundHost> found_;
    QTimer steps_;
    bool inStep_ = false;
    QLineEdit *txtRange;
    QPushButton *cmdSearch, *cmdAdd;
    QProgressBar *barSearch;
    QLabel *lblStatus;
    QTreeWidget *lvFound;
};

} // namespace ui
