// The diagnostic SNMP console on the main window, beyond its normal width: the address range, the OID list, the
// operation and its options, "Go!" and "ABORT!", the addresses with their ping times, the address in hand and the
// result lines. The run itself is discovery::Console; this panel is its view.
#pragma once

#include "discovery/console.h"

#include <QObject>

class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTimer;
class QTreeWidget;
class QWidget;

namespace ui {

class MainWindow;

class ConsolePanel : public QObject, public discovery::ConsoleView {
    Q_OBJECT
public:
    // Makes the controls on window, whose status line shows the failures of a run; timer is Timer1, held off while
    // a run goes on.
    ConsolePanel(MainWindow *window, QTimer *timer);

    // Start-up: no result lines, "Get" selected.
    void reset();
    // The operation chosen (m_intOperation): 0 Get, 1 GetNext, 2 Set, 3 Walk.
    int operation() const { return m_intOperation; }
    QListWidget *resultList() const { return lstResults; }

    // discovery::ConsoleView
    void setRunning(bool running) override;
    void clearAddresses() override;
    void addAddress(const QString &address) override;
    void showPingResult(int row, const QString &timeText, int icon) override;
    void showCurrentAddress(const QString &address, bool answering) override;
    void clearResults() override;
    void addResult(const QString &line) override;
    QStringList results() const override;
    void showCompletion(const QString &message) override;
    void showFailure(const QString &text) override;

private:
    void build(QWidget *window);
    void selectOperation(int index);
    void go();

    MainWindow *window_;
    QTimer *timer_;
    discovery::Console console_;
    int m_intOperation = 0;

    QLineEdit *txtAgent, *txtAgentTo, *txtOID, *txtSetVal, *txtIP;
    QButtonGroup *optOps;
    QCheckBox *chkSetInteger, *chkFullWalk;
    QPushButton *cmdGo, *cmdCancelScan;
    QTreeWidget *LV_IPs;
    QListWidget *lstResults;
};

} // namespace ui
