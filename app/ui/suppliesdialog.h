// "Supplies and status": one printer's conditions and every supply it publishes, read when the view opens and again
// on "Read again". The library's SNMP waits run the window's events, so the read starts from a queued call once the
// view is shown and the window stays alive meanwhile; the view may be closed during its own read, and starts no second
// one while one runs.
#pragma once

#include "reading/supplies.h"

#include <QColor>
#include <QDialog>
#include <QWidget>

#include <optional>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace ui {

// The colour a supply's bar is drawn in for its colour's name ("cyan", "photo black", "light magenta"); grey for none
// or one the table does not know.
QColor barColour(const QString &colour);

// A supply's level as a bar in the supply's colour: a consumed supply's bar shows what is left, a receptacle's (a waste
// box) how full it is, hatched; where the level is no percent the bar holds the words instead.
class SupplyBar : public QWidget {
    Q_OBJECT
public:
    explicit SupplyBar(const reading::supplies::Supply &supply, QWidget *parent = nullptr);

    QString text() const { return text_; } // "45 %", "95 % full", "some remaining", "120 sheets"
    QColor colour() const { return colour_; }
    std::optional<int> percent() const { return percent_; }
    bool fillsUp() const { return receptacle_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::optional<int> percent_;
    bool receptacle_;
    QColor colour_;
    QString text_;
};

class SuppliesDialog : public QDialog {
    Q_OBJECT
public:
    // host: the list row's host, read through the address it resolves to; model and description: what the row says
    // of the printer, the model shown until the read names it.
    SuppliesDialog(const QString &host, const QString &model, const QString &description, QWidget *parent = nullptr);

    bool reading() const { return reading_; }

private:
    void readNow(); // cmdRead "Read again", and once when the view opens
    void showPrinter(const QString &model);

    QString host_, description_;
    bool reading_ = false;
    QLabel *lblPrinter, *lblState;
    QTreeWidget *lvConditions, *lvSupplies;
    QPushButton *cmdRead;
};

} // namespace ui
