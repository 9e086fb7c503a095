// The customer code dialog frmCodeCli: asks for the code under which the service knows this installation, keeps it
// in the globals and stores it as [Vendor] CID in the configuration file. Closing it any other way changes nothing.
#pragma once

#include <QDialog>
#include <QPixmap>

class QLabel;
class QLineEdit;
class QPushButton;

namespace ui {

class CustomerCodeDialog : public QDialog {
    Q_OBJECT

public:
    // A fresh dialog: empty text box, caption = the executable's name, the vendor's banner when the program folder
    // has one ("<vendor id>b.jpg"), else the built-in picture.
    explicit CustomerCodeDialog(QWidget *parent = nullptr);

    // Opens a new dialog modally and returns when it is closed; callers read the outcome from the globals.
    static void ask(QWidget *parent = nullptr);

    // The picture imgCompany shows when the program folder has no banner.
    static QPixmap builtInPicture();

private:
    void confirm(); // Command1 "OK"

    QLabel *imgCompany;
    QLabel *Label1;
    QLineEdit *txtCodeCli;
    QPushButton *Command1;
    QPushButton *Command2;
};

} // namespace ui
