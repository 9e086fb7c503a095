// The about box frmCastorel: who made the program, with the logo leading to the maker's web site and the address
// leading to a mail to the maker.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace ui {

class AboutBox : public QDialog {
    Q_OBJECT

public:
    explicit AboutBox(QWidget *parent = nullptr);

    // Opens the about box modally and returns when it is closed.
    static void showAbout(QWidget *parent = nullptr);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLabel *Image1;
    QLabel *Label1;
    QLabel *Label3;
    QLabel *Label2;
    QPushButton *cmdOK;
};

} // namespace ui
