// The printer dialog frmHostConfig: enters, changes or removes the monitored printer of one slot. OK stores the
// record and announces the printer to the service; "ping" checks the host with the command-line ping.
#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace ui {

class HostConfigDialog : public QDialog {
    Q_OBJECT

public:
    // The dialog for slot (1 to 200), its fields filled from the record. Any other slot number (no row selected)
    // stands for the first free slot, as the "[new]" row does; when every slot is taken, nothing can be stored or
    // removed and OK and "Remove Printer" are disabled.
    explicit HostConfigDialog(int slot, QWidget *parent = nullptr);

    // Opens the dialog for slot modally and returns when it is closed.
    static void edit(int slot, QWidget *parent = nullptr);

    // The slot being edited; 0 when there is none.
    int slot() const { return slot_; }

    // The backgrounds of txtIP after "ping": a reply within 1 ms, anything else.
    static inline const QColor Answered{0x80, 0xff, 0x80};
    static inline const QColor NotAnswered{0xff, 0x80, 0x80};

private:
    void load();
    void confirm();        // Command1 "OK"
    void removePrinter();  // cmdRemove "Remove Printer"
    void ping();           // cmdPing "ping"

    int slot_;
    QLineEdit *txtIP;
    QLineEdit *txtDescr;
    QLineEdit *txtSerial;
    QLineEdit *txtpattern;
    QPushButton *cmdPing;
    QPushButton *Command1;
    QPushButton *cmdCancel;
    QPushButton *cmdRemove;
};

} // namespace ui
