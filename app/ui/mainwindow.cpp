#include "ui/mainwindow.h"

#include "platform/programend.h"
#include "reading/printermib.h"
#include "reading/probe.h"
#include "store/config.h"
#include "store/globals.h"
#include "store/log.h"
#include "store/piplistmodel.h"
#include "store/snmpprofiles.h"
#include "ui/aboutbox.h"
#include "ui/art.h"
#include "ui/consolepanel.h"
#include "ui/csvexport.h"
#include "ui/customercodedialog.h"
#include "ui/findprintersdialog.h"
#include "ui/historydialog.h"
#include "ui/hostconfigdialog.h"
#include "ui/links.h"
#include "ui/programtitle.h"
#include "ui/servicebrowser.h"
#include "ui/suppliesdialog.h"
#include "ui/trayicon.h"
#include "ui/twips.h"
#include "upload/conditionwatch.h"
#include "upload/outbox.h"
#include "upload/servicerequests.h"

#include <QApplication>
#include <QFileInfo>
#include <QFrame>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QTreeView>

#include <array>

namespace ui {

using namespace Qt::StringLiterals;

namespace {

// Design layout, twips.
constexpr int Margin = 120;
constexpr int ListTop = 960;
constexpr int ListHeight = 3480;
constexpr int ContentWidth = MainWindow::NormalWidth - 2 * Margin;
constexpr int BarTop = 4500;
constexpr int RowTop = 4620;
constexpr int ButtonSize = 420;
constexpr int DetailsTop = 5280;
constexpr int DetailRowHeight = 330;
constexpr int Line2Y1 = 7440;

// The Status column's picture for how much a printer's condition asks of the user; none while all is well.
QIcon attentionIcon(platform::Attention attention) {
    const QStyle *style = QApplication::style();
    switch (attention) {
    case platform::Attention::Critical: return style->standardIcon(QStyle::SP_MessageBoxCritical);
    case platform::Attention::Warning: return style->standardIcon(QStyle::SP_MessageBoxWarning);
    case platform::Attention::Notice: return style->standardIcon(QStyle::SP_MessageBoxInformation);
    case platform::Attention::NotAnswering: return art::icon(art::HostSilent);
    case platform::Attention::None: break;
    }
    return {};
}

// How the list shows its rows: picture 1 for an ordinary row, 3 for a row with a toner warning; the warning's
// lines joined on one line, and whole in the tool tip; the condition's picture in the Status column, and the
// printer's conditions as the tool tip of its row (of the Toner cell where it has no warning).
class PipListView : public QIdentityProxyModel {
public:
    explicit PipListView(QObject *parent) : QIdentityProxyModel(parent) {
        for (int attention = 0; attention < int(statusIcons_.size()); ++attention)
            statusIcons_[attention] = attentionIcon(platform::Attention(attention));
    }
    QVariant data(const QModelIndex &index, int role) const override {
        using store::PipListModel;
        if (role == Qt::DecorationRole && index.column() == PipListModel::Ip) {
            static const QIcon plain = art::icon(art::Pip), toner = art::icon(art::PipToner);
            const int icon = QIdentityProxyModel::data(index, PipListModel::IconRole).toInt();
            return icon == PipListModel::TonerIcon ? toner : plain;
        }
        if (role == Qt::DecorationRole && index.column() == PipListModel::Status) {
            const int attention = QIdentityProxyModel::data(index, PipListModel::AttentionRole).toInt();
            return attention >= 0 && attention < int(statusIcons_.size()) ? statusIcons_[attention] : QIcon();
        }
        if (index.column() == PipListModel::Toner && (role == Qt::DisplayRole || role == Qt::ToolTipRole)) {
            const QString warning = QIdentityProxyModel::data(index, Qt::DisplayRole).toString();
            if (role == Qt::DisplayRole) return store::joinedLines(warning);
            if (!warning.isEmpty()) return warning;
        }
        if (role == Qt::ToolTipRole) {
            const QString conditions = QIdentityProxyModel::data(index, PipListModel::ConditionsRole).toString();
            if (!conditions.isEmpty() || index.column() == PipListModel::Toner) return conditions;
        }
        return QIdentityProxyModel::data(index, role);
    }

private:
    std::array<QIcon, int(platform::Attention::Critical) + 1> statusIcons_;
};

// The tip's line for the printers with an active warning or critical condition; empty for none.
QString attentionLine(int count) {
    if (count <= 0) return {};
    return count == 1 ? u"1 printer needs attention"_s : u"%1 printers need attention"_s.arg(count);
}

QLabel *label(QWidget *parent, const QString &name, const QString &caption, QRect place) {
    auto *made = new QLabel(caption, parent);
    made->setObjectName(name);
    made->setGeometry(place);
    return made;
}

QString brandingFile(const QString &suffix) { return store::programFile(store::globals().vendorId + suffix); }

} // namespace

void setUpApplication() { QApplication::setQuitOnLastWindowClosed(false); }

MainWindow::MainWindow(QWidget *parent)
    : QWidget(parent), pips_(new store::PipListModel(this)), tray_(new TrayIcon(this, this)) {
    setObjectName(u"frmZOV"_s);
    setWindowTitle(programTitle());
    setWindowIcon(art::icon(art::Window));
    buildControls();
    buildMenu();
    tray_->setAlertIcon(QIcon(picIcoErr->pixmap()));
    connect(tray_, &TrayIcon::restoreRequested, this, &MainWindow::NormalWindow);
    connect(tray_, &TrayIcon::balloonUnseen, this, &MainWindow::setStatus); // the note still reaches the user
    setWidthTwips(NormalWidth);
    setHeightTwips(compactHeight());
}

MainWindow::~MainWindow() {
    if (&platform::window() == this) platform::setWindow(nullptr);
}

// ---- controls

void MainWindow::buildControls() {
    auto *title = label(this, u"lblTitle"_s, programTitle(), twips::toPixels(Margin, 120, 4200, 420));
    QFont big = title->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    title->setFont(big);
    Label6 = label(this, u"Label6"_s, u"Version x.x.x"_s, twips::toPixels(Margin, 540, 4200, 300));
    imgCompany = label(this, u"imgCompany"_s, {}, twips::toPixels(8880, 120, 2400, 720));
    imgCompany->setScaledContents(true);
    imgCompany->hide();
    imgCompany->installEventFilter(this);
    Label4 = label(this, u"Label4"_s, u"i"_s, twips::toPixels(11580, 120, 420, 420));
    Label4->setAlignment(Qt::AlignCenter);
    Label4->setToolTip(u"About"_s);
    Label4->setCursor(Qt::PointingHandCursor);
    Label4->setStyleSheet(u"QLabel { border: 1px solid palette(mid); border-radius: 14px; font-weight: bold; }"_s);
    Label4->installEventFilter(this);

    buildPipList();
    buildButtonRow();
    buildDetails();

    WebBrowser1 = new ServiceBrowser(this);
    WebBrowser1->setGeometry(twips::toPixels(5760, DetailsTop, NormalWidth - Margin - 5760, 2040));

    Timer1 = new QTimer(this);
    Timer1->setObjectName(u"Timer1"_s);
    Timer1->setInterval(upload::tickLength());
    connect(Timer1, &QTimer::timeout, this, [this] { schedule_.tick(); });

    console_ = new ConsolePanel(this, Timer1);
}

void MainWindow::buildPipList() {
    lvPips = new QTreeView(this);
    lvPips->setObjectName(u"lvPips"_s);
    auto *shown = new PipListView(this);
    shown->setSourceModel(pips_);
    lvPips->setModel(shown);
    lvPips->setRootIsDecorated(false);
    lvPips->setUniformRowHeights(true);
    lvPips->setAlternatingRowColors(true);
    lvPips->setSelectionMode(QAbstractItemView::SingleSelection);
    lvPips->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvPips->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvPips->setGeometry(twips::toPixels(Margin, ListTop, ContentWidth, ListHeight));
    // Shown where a row has no tip of its own: a warning's or the printer's conditions win over it.
    lvPips->setToolTip(u"Click a printer to read it; Shift+click to add, change or remove a printer"_s);
    const int widths[] = {1800, 1800, 1500, 2400, 1100, 1100, 1800, 2400};
    for (int column = 0; column < store::PipListModel::ColumnCount; ++column)
        lvPips->header()->resizeSection(column, twips::toPixelsX(widths[column]));
    lvPips->viewport()->installEventFilter(this);
    lvPips->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lvPips, &QTreeView::customContextMenuRequested, this, &MainWindow::pipListMenu);

    picBar = new QFrame(this);
    picBar->setObjectName(u"picBar"_s);
    picBar->setGeometry(twips::toPixels(Margin, BarTop, ContentWidth, 90));
    picBar->setStyleSheet(u"#picBar { background: palette(midlight); border-radius: 2px; }"_s);
    imgBar = new QFrame(picBar);
    imgBar->setObjectName(u"imgBar"_s);
    imgBar->setGeometry(0, 0, 0, picBar->height());
    imgBar->setStyleSheet(u"#imgBar { background: #4a90d9; border-radius: 2px; }"_s);
    picBar->hide();
}

QPushButton *MainWindow::pictureButton(const QString &name, const QString &picture, const QString &hint) {
    auto *button = new QPushButton(art::icon(picture), {}, this);
    button->setObjectName(name);
    button->setToolTip(hint);
    button->setIconSize(QSize(twips::toPixelsX(300), twips::toPixelsY(300)));
    return button;
}

void MainWindow::buildButtonRow() {
    Command2 = new QPushButton(u"Send to Server"_s, this);
    Command2->setObjectName(u"Command2"_s);
    Command2->setGeometry(twips::toPixels(Margin, RowTop, 1920, ButtonSize));
    connect(Command2, &QPushButton::clicked, this, [] { upload::runCycle(); });

    Label3 = label(this, u"Label3"_s, {}, twips::toPixels(2160, RowTop, 7860, ButtonSize));
    Label3->setTextFormat(Qt::PlainText);

    cmdFind = pictureButton(u"cmdFind"_s, art::Search, u"Find printers"_s);
    cmdExport = pictureButton(u"cmdExport"_s, art::Export, u"Export the list to the desktop"_s);
    cmdWeb = pictureButton(u"cmdWeb"_s, art::Web, u"Open the customer portal"_s);
    cmdTest = pictureButton(u"cmdTest"_s, art::Toggle, u"Show or hide printer details"_s);
    cmdInTray = pictureButton(u"cmdInTray"_s, art::InTray, u"Hide in the notification area"_s);
    int left = NormalWidth - Margin - 5 * ButtonSize - 4 * 60;
    for (QPushButton *button : {cmdFind, cmdExport, cmdWeb, cmdTest, cmdInTray}) {
        button->setGeometry(twips::toPixels(left, RowTop, ButtonSize, ButtonSize));
        left += ButtonSize + 60;
    }
    connect(cmdFind, &QPushButton::clicked, this, &MainWindow::findPrinters);
    connect(cmdExport, &QPushButton::clicked, this, [this] { exportPipList(this, *pips_); });
    connect(cmdWeb, &QPushButton::clicked, this, [this] { openPortal(this); });
    connect(cmdTest, &QPushButton::clicked, this, &MainWindow::toggleHeight);
    connect(cmdInTray, &QPushButton::clicked, this, &MainWindow::hideInTray);
}

void MainWindow::buildDetails() {
    auto *line1 = new QFrame(this);
    line1->setFrameShape(QFrame::HLine);
    line1->setFrameShadow(QFrame::Sunken);
    line1->setGeometry(twips::toPixels(Margin, RowTop + ButtonSize + 90, ContentWidth, 30));

    picIco = label(this, u"picIco"_s, {}, twips::toPixels(Margin, DetailsTop, 480, 480));
    picIco->setPixmap(art::icon(art::Search).pixmap(picIco->size()));
    picIco->setToolTip(u"Search Device"_s);
    picIco->installEventFilter(this);

    const QString captions[] = {u"Brand"_s, u"Model"_s, u"ID"_s, u"Counter"_s, u"Toner"_s};
    QLabel **values[] = {&lblPrinterBrand, &lblPrinterModel, &lblPrinterID, &lblPrinterCopies, &lblMsg};
    const QString names[] = {u"lblPrinterBrand"_s, u"lblPrinterModel"_s, u"lblPrinterID"_s, u"lblPrinterCopies"_s,
                             u"lblMsg"_s};
    for (int row = 0; row < 5; ++row) {
        const int top = DetailsTop + row * DetailRowHeight;
        label(this, {}, captions[row] + u":"_s, twips::toPixels(720, top, 1080, 330))->setEnabled(false);
        *values[row] = label(this, names[row], u"-"_s, twips::toPixels(1860, top, 3780, 330));
        (*values[row])->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    lblMsg->setWordWrap(true);
    lblMsg->setFixedHeight(twips::toPixelsY(Line2Y1 - 60 - (DetailsTop + 4 * DetailRowHeight)));
    lblMsg->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    Line2 = new QFrame(this);
    Line2->setObjectName(u"Line2"_s);
    Line2->setFrameShape(QFrame::HLine);
    Line2->setFrameShadow(QFrame::Sunken);
    Line2->setGeometry(twips::toPixels(Margin, Line2Y1 - 15, ContentWidth, 30));

    picIcoErr = new QLabel(this);
    picIcoErr->setObjectName(u"picIcoErr"_s);
    picIcoErr->setPixmap(art::icon(art::Alert).pixmap(32, 32));
    picIcoErr->hide();
}

void MainWindow::buildMenu() {
    mnu = new QMenu(this);
    mnu->setObjectName(u"mnu"_s);
    QAction *open = mnu->addAction(u"Open"_s, this, &MainWindow::NormalWindow);
    open->setObjectName(u"mnu_open"_s);
    QAction *find = mnu->addAction(u"Find printers..."_s, this, &MainWindow::findPrinters);
    find->setObjectName(u"mnu_find"_s);
    mnu->addSeparator()->setObjectName(u"mnu_b"_s);
    mnu_min = mnu->addAction(u"Start minimized"_s);
    mnu_min->setObjectName(u"mnu_min"_s);
    mnu_min->setCheckable(true);
    mnu->addSeparator()->setObjectName(u"mnu_c"_s);
    QAction *exit = mnu->addAction(u"Exit"_s, this, &MainWindow::confirmExit);
    exit->setObjectName(u"mnu_exit"_s);
    tray_->setMenu(mnu);
}

int MainWindow::compactHeight() const { return RowTop + ButtonSize + 60; }

int MainWindow::expandedHeight() const { return Line2Y1 + 10; }

// ---- start-up

void MainWindow::load() {
    platform::setWindow(this);
    store::Globals &values = store::globals();
    values.appCode = u"004"_s;
    values.version = QStringLiteral(METERLANE_VERSION);
    if (!store::CreateIniFile()) setStatus(u"Cannot write "_s + values.iniFile);
    if (const store::SnmpProfiles profiles = store::snmpProfiles(); profiles.unreadable)
        setStatus(profiles.path + u": "_s + profiles.problems.constFirst());
    values.intervalRead = 1;
    Label6->setText(Label6->text().replace(u"x.x.x"_s, values.version));
    store::readVendorValues();
    const QString customerCode = store::ReadIniValue(values.iniFile, u"Vendor"_s, u"CID"_s);
    loadIcons();
    refillPipList();
    applyStartUpMinimized();
    tray_->create(windowIcon());
    if (!tray_->available() && Label3->text().isEmpty())
        setStatus(u"This desktop has no notification area: the window stays on the task bar."_s);
    console_->reset();
    loadPortal(customerCode);
    upload::showWaitingReadings();
    Timer1->start();
}

void MainWindow::loadIcons() {
    const QString icon = brandingFile(u".ico"_s), alert = brandingFile(u"!.ico"_s);
    QPixmap picture;
    if (QFileInfo::exists(icon)) {
        if (!picture.load(icon)) return setStatus(u"Error loading icons: "_s + store::globals().vendorId);
        setWindowIcon(QIcon(picture));
    }
    if (QFileInfo::exists(alert)) {
        if (!picture.load(alert)) return setStatus(u"Error loading icons: "_s + store::globals().vendorId);
        picIcoErr->setPixmap(picture);
    }
    tray_->setAlertIcon(QIcon(picIcoErr->pixmap()));
}

void MainWindow::applyStartUpMinimized() {
    const QString value = store::ReadIniValue(store::globals().iniFile, u"Settings"_s, u"StartUpMinimized"_s);
    const bool minimized = store::leadingNumber(value) == 1;
    mnu_min->setChecked(minimized);
    if (minimized)
        hideInTray();
    else
        show();
}

void MainWindow::loadPortal(const QString &customerCode) {
    const store::Globals &values = store::globals();
    const upload::ServiceRequest portal =
        upload::portalRequest(values.vendorId, values.appCode, values.version, customerCode);
    loadBanner();
    store::WriteLog(portal.text());
    WebBrowser1->navigate(portal.url());
}

void MainWindow::loadBanner() {
    const QString banner = brandingFile(u"b.jpg"_s);
    QPixmap picture;
    if (!QFileInfo::exists(banner) || !picture.load(banner)) return;
    imgCompany->setPixmap(picture);
    imgCompany->show();
}

// ---- behaviour

void MainWindow::NormalWindow() {
    setWindowState(windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
    show();
    raise();
    activateWindow();
    move(twips::toPixelsX(RestoredPosition), twips::toPixelsY(RestoredPosition));
}

void MainWindow::ShowBalloonTip(const QString &sMessage, const QString &sTitle, int eIcon, int lTimeOutMs) {
    tray_->ShowBalloonTip(sMessage, sTitle, eIcon, lTimeOutMs);
}

bool MainWindow::hidesInTray() const { return tray_->available(); }

void MainWindow::hideInTray() {
    if (!hidesInTray()) return showMinimized();
    move(twips::toPixelsX(HiddenPosition), twips::toPixelsY(HiddenPosition));
    setWindowState(windowState() | Qt::WindowMinimized);
    hide();
}

void MainWindow::changeEvent(QEvent *event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && hidesInTray())
        QTimer::singleShot(0, this, [this] {
            if (isMinimized()) hide();
        });
}

void MainWindow::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    if (!isMinimized()) sizeResultList();
}

void MainWindow::sizeResultList() {
    QWidget *list = console_->resultList();
    const int width = twips::fromPixelsX(this->width()), height = twips::fromPixelsY(this->height());
    const int left = twips::fromPixelsX(list->x()), top = twips::fromPixelsY(list->y());
    if (top >= height) return;
    const int listWidth = width - left - ListMargin, listHeight = height - top - ListMargin;
    if (listWidth <= 0 || listHeight <= 0) return;
    list->resize(twips::toPixelsX(listWidth), twips::toPixelsY(listHeight));
}

void MainWindow::setWidthTwips(int width) { resize(twips::toPixelsX(width), height()); }

void MainWindow::setHeightTwips(int height) { resize(width(), twips::toPixelsY(height)); }

void MainWindow::toggleHeight() {
    setHeightTwips(expanded_ ? compactHeight() : expandedHeight());
    expanded_ = !expanded_;
}

void MainWindow::askAccessCode() {
    bool ok = false;
    const QString answer =
        QInputDialog::getText(this, u"debug"_s, u"pwd"_s, QLineEdit::Normal, u"0"_s, &ok);
    setWidthTwips(NormalWidth);
    if (ok && answer == AccessCode) setWidthTwips(DiagnosticWidth);
}

void MainWindow::mousePressEvent(QMouseEvent *event) {
    dragAnchor_ = event->position().toPoint();
    QWidget::mousePressEvent(event);
}

void MainWindow::mouseMoveEvent(QMouseEvent *event) {
    if (event->buttons() == Qt::LeftButton && !isMinimized())
        move(pos() + event->position().toPoint() - dragAnchor_);
    QWidget::mouseMoveEvent(event);
}

void MainWindow::findPrinters() {
    if (!findPrinters_) findPrinters_ = new FindPrintersDialog([this] { refillPipList(); }, this);
    findPrinters_->show();
    findPrinters_->raise();
    findPrinters_->activateWindow();
}

void MainWindow::contextMenuEvent(QContextMenuEvent *event) { mnu->popup(event->globalPos()); }

// A printer's row has a menu of its own while the standard Printer MIB is read; elsewhere the list has the window's.
void MainWindow::pipListMenu(const QPoint &at) {
    const QPoint global = lvPips->viewport()->mapToGlobal(at);
    const QModelIndex row = lvPips->indexAt(at);
    const auto text = [&](int column) { return row.siblingAtColumn(column).data().toString().trimmed(); };
    const QString host = text(store::PipListModel::Ip);
    if (!row.isValid() || host.isEmpty() || host == store::PipListModel::NewRow || !reading::printermib::enabled())
        return mnu->popup(global);
    auto *menu = new QMenu(this);
    menu->setObjectName(u"mnuPrinter"_s);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const QString model = text(store::PipListModel::Model), description = text(store::PipListModel::Description);
    const auto open = [](QDialog *view) {
        view->setAttribute(Qt::WA_DeleteOnClose);
        view->show();
    };
    menu->addAction(u"Supplies and status"_s, this,
                    [=, this] { open(new SuppliesDialog(host, model, description, this)); })
        ->setObjectName(u"mnuSupplies"_s);
    menu->addAction(u"History"_s, this, [=, this] { open(new HistoryDialog(host, model, description, this)); })
        ->setObjectName(u"mnuHistory"_s);
    menu->popup(global);
}

// The unload handler: closing the window by any means ends the program at once, even from inside a wait.
void MainWindow::closeEvent(QCloseEvent *) { platform::endProgram(); }

bool MainWindow::eventFilter(QObject *watched, QEvent *event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease || type == QEvent::MouseMove)
        mouseOnControl(watched, type, *static_cast<QMouseEvent *>(event));
    return QWidget::eventFilter(watched, event);
}

void MainWindow::mouseOnControl(QObject *control, QEvent::Type type, const QMouseEvent &mouse) {
    if (control == lvPips->viewport() && type == QEvent::MouseButtonRelease) {
        pipListReleased(mouse.modifiers());
    } else if (control == picIco && type == QEvent::MouseButtonPress) {
        if (mouse.modifiers() == Qt::ShiftModifier) askAccessCode();
    } else if (control == Label4 && type == QEvent::MouseButtonRelease) {
        AboutBox::showAbout(this);
    } else if (control == imgCompany && type == QEvent::MouseButtonPress) {
        dragAnchor_ = imgCompany->mapTo(this, mouse.position().toPoint());
    } else if (control == imgCompany && type == QEvent::MouseMove && mouse.buttons() == Qt::LeftButton) {
        move(pos() + imgCompany->mapTo(this, mouse.position().toPoint()) - dragAnchor_);
    }
}

void MainWindow::pipListReleased(Qt::KeyboardModifiers modifiers) {
    if (modifiers == Qt::ShiftModifier)
        editSelectedPrinter();
    else
        probeSelectedPrinter();
}

void MainWindow::editSelectedPrinter() {
    const QModelIndex selected = lvPips->currentIndex();
    const QModelIndex row = selected.isValid() ? selected : lvPips->model()->index(pips_->rowCount() - 1, 0);
    HostConfigDialog::edit(row.data(store::PipListModel::SlotRole).toInt(), this);
    refillPipList();
}

void MainWindow::probeSelectedPrinter() {
    for (QLabel *value : {lblPrinterModel, lblPrinterID, lblPrinterCopies, lblPrinterBrand, lblMsg})
        value->setText(u"-"_s);
    const QModelIndexList selected = lvPips->selectionModel()->selectedRows();
    if (selected.isEmpty()) {
        QMessageBox::information(this, programTitle(), u"Select a printer!"_s);
        return;
    }
    const int row = selected.first().row();
    const QString host = pips_->index(row, store::PipListModel::Ip).data().toString();
    if (host.isEmpty()) return;
    const reading::ProbeLabels shown =
        reading::ProbeSelectedPrinter(host, pips_->index(row, store::PipListModel::Toner).data().toString());
    if (!shown.status.isEmpty()) return setStatus(shown.status);
    lblPrinterBrand->setText(shown.brand);
    if (!shown.brandTip.isEmpty()) lblPrinterBrand->setToolTip(shown.brandTip);
    lblPrinterModel->setText(shown.model);
    lblPrinterID->setText(shown.identity);
    lblPrinterCopies->setText(shown.counter);
    lblMsg->setText(shown.message);
}

void MainWindow::confirmExit() {
    QMessageBox box(QMessageBox::Question, u"ZOV"_s, u"Exit?"_s, QMessageBox::Yes | QMessageBox::No, this);
    if (box.exec() == QMessageBox::Yes) platform::endProgram();
}

// ---- the window interface of the core

void MainWindow::setStatus(const QString &text) {
    status_ = text;
    const bool withWaiting = !waitingLine_.isEmpty() && text.startsWith(u"Last Update "_s);
    Label3->setText(withWaiting ? text + u" \u2013 "_s + waitingLine_ : text);
    Label3->repaint();
}

void MainWindow::showWaitingReadings(int count) {
    waitingLine_ = upload::waitingReadingsLine(count);
    tray_->setExtraTipLine(waitingLine_);
    setStatus(status_);
}

void MainWindow::showPrintersNeedingAttention(int count) { tray_->setLastTipLine(attentionLine(count)); }

void MainWindow::showProgress() {
    imgBar->resize(0, picBar->height());
    picBar->show();
    picBar->repaint();
}

void MainWindow::setProgress(int done, int total) {
    if (total <= 0) return;
    imgBar->resize(int(qint64(picBar->width()) * qBound(0, done, total) / total), picBar->height());
    picBar->repaint();
}

void MainWindow::hideProgress() { picBar->hide(); }

void MainWindow::updatePipRow(const QString &host, const QString &model, const QString &identity,
                              const QString &totalBW, const QString &totalColour, const QString &tonerWarning) {
    if (!store::UpdatePipRow(*pips_, host, model, identity, totalBW, totalColour, tonerWarning)) return;
    if (tonerWarning.isEmpty()) return lblMsg->setText(u"-"_s);
    lblPrinterModel->setText(model);
    lblMsg->setText(tonerWarning);
}

void MainWindow::notifyTonerLow(bool showBalloon, const QString &model, const QString &description,
                                const QString &tonerWarning) {
    tray_->notifyTonerLow(showBalloon, model, description, tonerWarning);
}

void MainWindow::updatePipStatus(const QString &host, const QString &status, platform::Attention attention,
                                 const QString &details) {
    pips_->updateStatus(host, status, attention, details);
}

void MainWindow::notifyCondition(const QString &title, const QString &text, platform::Attention attention) {
    tray_->notifyCondition(title, text, attention);
}

void MainWindow::promptCustomerCode() { CustomerCodeDialog::ask(this); }

void MainWindow::navigate(const QUrl &address, Answered answered) { WebBrowser1->navigate(address, std::move(answered)); }

void MainWindow::refillPipList() {
    store::FillPipList(*pips_, store::globals().iniFile);
    upload::showRememberedConditions();
}

} // namespace ui
