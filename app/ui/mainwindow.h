// frmZOV, the main window: the list of monitored printers, the status line, the buttons of the read-and-send
// cycle, export, portal, height toggle and tray, the probe labels and the service page below the button row, and the
// diagnostic console beyond the normal width. It is the window the core talks to, and it lives mostly in the
// notification area.
#pragma once

#include "platform/window.h"
#include "upload/cycle.h"

#include <QEvent>
#include <QPoint>
#include <QWidget>


class QAction;
class QFrame;
class QLabel;
class QMenu;
class QMouseEvent;
class QPushButton;
class QTimer;
class QTreeView;

namespace store {
class PipListModel;
}

namespace ui {

class ConsolePanel;
class FindPrintersDialog;
class ServiceBrowser;
class TrayIcon;

class MainWindow : public QWidget, public platform::Window {
    Q_OBJECT
public:
    // Geometry of the window in twips.
    static constexpr int HiddenPosition = -10000;
    static constexpr int RestoredPosition = 100;
    static constexpr int NormalWidth = 12120;
    static constexpr int DiagnosticWidth = 19900;
    static constexpr int ListMargin = 100;
    static inline const QString AccessCode = QStringLiteral("kdwfz");

    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // The start-up sequence: process-wide values, configuration file, branding, printer list, start minimized or
    // shown, notification icon, console reset, portal page.
    void load();

    // Brings the window back from the notification area at the restored position.
    void NormalWindow();
    // A balloon note at the notification icon.
    void ShowBalloonTip(const QString &sMessage, const QString &sTitle, int eIcon, int lTimeOutMs);

    int compactHeight() const;  // twips: the window ends just below the button row
    int expandedHeight() const; // twips: the printer details and the service page are shown too
    // Whether minimizing hides the window into the notification area: only while the desktop has one (a tray may
    // turn up after a program started with the session), so that elsewhere the window stays reachable from the task
    // bar.
    bool hidesInTray() const;
    TrayIcon &tray() const { return *tray_; }
    ServiceBrowser &browser() const { return *WebBrowser1; }

    // platform::Window
    void setStatus(const QString &text) override;
    void showProgress() override;
    void setProgress(int done, int total) override;
    void hideProgress() override;
    void updatePipRow(const QString &host, const QString &model, const QString &identity, const QString &totalBW,
                      const QString &totalColour, const QString &tonerWarning) override;
    void notifyTonerLow(bool showBalloon, const QString &model, const QString &description,
                        const QString &tonerWarning) override;
    void promptCustomerCode() override;
    void navigate(const QUrl &address, Answered answered = {}) override;
    void requestFailed(const QUrl &, const QString &) override {} // the status line tells the user
    // Refilled rows show the printers' remembered conditions at once.
    void refillPipList() override;
    void updatePipStatus(const QString &host, const QString &status, platform::Attention attention,
                         const QString &details) override;
    void notifyCondition(const QString &title, const QString &text, platform::Attention attention) override;
    // On a line of its own after the notification icon's tip and the waiting readings, where the tip has room.
    void showPrintersNeedingAttention(int count) override;
    // On its own line after the notification icon's tip, and after the "Last Update" text of the status line.
    void showWaitingReadings(int count) override;

protected:
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void buildPipList();
    void buildButtonRow();
    void buildDetails();
    void buildMenu();
    QPushButton *pictureButton(const QString &name, const QString &picture, const QString &hint);

    void loadIcons();
    void applyStartUpMinimized();
    void loadPortal(const QString &customerCode);
    void loadBanner();

    void hideInTray();
    void findPrinters(); // cmdFind and the menu's "Find printers..."
    void toggleHeight();
    void askAccessCode();
    void mouseOnControl(QObject *control, QEvent::Type type, const QMouseEvent &mouse);
    void pipListReleased(Qt::KeyboardModifiers modifiers);
    void pipListMenu(const QPoint &at);
    void editSelectedPrinter();
    void probeSelectedPrinter();
    void confirmExit();
    void sizeResultList();
    void setWidthTwips(int width);
    void setHeightTwips(int height);

    store::PipListModel *pips_;
    upload::ReadSchedule schedule_;
    TrayIcon *tray_;
    ConsolePanel *console_ = nullptr;
    bool expanded_ = false;
    QPoint dragAnchor_;
    QString status_;       // the status line's own text
    QString waitingLine_;  // "N readings waiting to be sent", or empty

    QLabel *imgCompany, *Label4, *Label6, *Label3, *picIco, *picIcoErr;
    QLabel *lblPrinterBrand, *lblPrinterModel, *lblPrinterID, *lblPrinterCopies, *lblMsg;
    QTreeView *lvPips;
    QFrame *picBar, *imgBar, *Line2;
    QPushButton *Command2, *cmdFind, *cmdExport, *cmdWeb, *cmdTest, *cmdInTray;
    FindPrintersDialog *findPrinters_ = nullptr;
    ServiceBrowser *WebBrowser1;
    QTimer *Timer1;
    QMenu *mnu;
    QAction *mnu_min;
};

// What the desktop program sets for the whole application before its window comes up: it ends through its own way
// out, not with its last window (the window may hide in the notification area); and it sets no application display
// name, which the window system would append to every title ("ZOV — Meterlane" for the box titled "ZOV").
void setUpApplication();

} // namespace ui
