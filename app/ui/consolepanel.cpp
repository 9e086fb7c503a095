#include "ui/consolepanel.h"

#include "ui/art.h"
#include "ui/mainwindow.h"
#include "ui/programtitle.h"
#include "ui/twips.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>

namespace ui {

using namespace Qt::StringLiterals;

namespace {

// Design layout beyond the normal width, twips.
constexpr int Left = 12240;
constexpr int FieldLeft = 12840;
constexpr int ConsoleListTop = 1740;
constexpr int ResultsLeft = 15360;

const QColor Answering(128, 255, 128);
const QColor Silent(255, 128, 128);

template <typename T> T *control(QWidget *window, const QString &name, QRect place) {
    auto *made = new T(window);
    made->setObjectName(name);
    made->setGeometry(place);
    return made;
}

void caption(QWidget *window, const QString &text, QRect place) {
    auto *label = new QLabel(text, window);
    label->setGeometry(place);
}

} // namespace

ConsolePanel::ConsolePanel(MainWindow *window, QTimer *timer) : QObject(window), window_(window), timer_(timer),
                                                             console_(*this) {
    build(window);
    connect(cmdGo, &QPushButton::clicked, this, &ConsolePanel::go);
    connect(cmdCancelScan, &QPushButton::clicked, this, [this] {
        console_.abort();
        cmdCancelScan->hide();
    });
    connect(optOps, &QButtonGroup::idClicked, this, &ConsolePanel::selectOperation);
}

void ConsolePanel::build(QWidget *window) {
    caption(window, u"From"_s, twips::toPixels(Left, 150, 600, 300));
    txtAgent = control<QLineEdit>(window, u"txtAgent"_s, twips::toPixels(FieldLeft, 120, 1800, 330));
    txtAgent->setText(u"192.168.1.1"_s);
    caption(window, u"To"_s, twips::toPixels(14760, 150, 360, 300));
    txtAgentTo = control<QLineEdit>(window, u"txtAgentTo"_s, twips::toPixels(15120, 120, 1800, 330));
    txtAgentTo->setText(u"192.168.1.254"_s);
    caption(window, u"OIDs"_s, twips::toPixels(Left, 540, 600, 300));
    txtOID = control<QLineEdit>(window, u"txtOID"_s, twips::toPixels(FieldLeft, 510, 6960, 330));
    txtOID->setText(u"1.3.6.1.2.1.1.1.0;1.3.6.1.2.1.25.3.2.1.3.1;1.3.6.1.2.1.43.10.2.1.4.1.1"_s);

    optOps = new QButtonGroup(this);
    const QString operations[] = {u"Get"_s, u"GetNext"_s, u"Set"_s, u"Walk"_s};
    const int lefts[] = {Left, 13080, 14280, 15120}, widths[] = {840, 1200, 840, 900};
    for (int index = 0; index < 4; ++index) {
        auto *option = control<QRadioButton>(window, u"optOps_%1"_s.arg(index),
                                             twips::toPixels(lefts[index], 930, widths[index], 330));
        option->setText(operations[index]);
        optOps->addButton(option, index);
    }
    txtSetVal = control<QLineEdit>(window, u"txtSetVal"_s, twips::toPixels(16140, 900, 1500, 330));
    txtSetVal->setPlaceholderText(u"value"_s);
    chkSetInteger = control<QCheckBox>(window, u"chkSetInteger"_s, twips::toPixels(17760, 930, 1300, 330));
    chkSetInteger->setText(u"Integer"_s);
    chkFullWalk = control<QCheckBox>(window, u"chkFullWalk"_s, twips::toPixels(17760, 930, 1300, 330));
    chkFullWalk->setText(u"Full Walk"_s);

    cmdGo = control<QPushButton>(window, u"cmdGo"_s, twips::toPixels(Left, 1290, 1200, 390));
    cmdGo->setText(u"Go!"_s);
    cmdCancelScan = control<QPushButton>(window, u"cmdCancelScan"_s, twips::toPixels(13560, 1290, 1200, 390));
    cmdCancelScan->setText(u"ABORT!"_s);
    cmdCancelScan->hide();
    txtIP = control<QLineEdit>(window, u"txtIP"_s, twips::toPixels(ResultsLeft, 1320, 2400, 330));
    txtIP->setReadOnly(true);
    txtIP->setAutoFillBackground(true);

    LV_IPs = control<QTreeWidget>(window, u"LV_IPs"_s, twips::toPixels(Left, ConsoleListTop, 2940, 3260));
    LV_IPs->setColumnCount(3);
    LV_IPs->setHeaderHidden(true);
    LV_IPs->setRootIsDecorated(false);
    // Three columns of equal width, each wide enough for the widest address with its icon and margins: the address
    // and the time show whole, and the empty third column lies beyond the right edge.
    LV_IPs->header()->setStretchLastSection(false);
    const int columnWidth = LV_IPs->fontMetrics().horizontalAdvance(u"255.255.255.255"_s) +
                            2 * LV_IPs->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, LV_IPs);
    for (int column = 0; column < 3; ++column) LV_IPs->setColumnWidth(column, columnWidth);
    lstResults = control<QListWidget>(window, u"lstResults"_s, twips::toPixels(ResultsLeft, ConsoleListTop, 4440, 3260));
    lstResults->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

void ConsolePanel::reset() {
    lstResults->clear();
    optOps->button(0)->setChecked(true);
    selectOperation(0);
}

void ConsolePanel::selectOperation(int index) {
    m_intOperation = index;
    const bool set = index == 2, walk = index == 3;
    txtSetVal->setEnabled(set);
    chkSetInteger->setVisible(set);
    chkSetInteger->setEnabled(set);
    if (!set) chkSetInteger->setChecked(false);
    chkFullWalk->setVisible(walk);
    if (!walk) chkFullWalk->setChecked(false);
}

void ConsolePanel::go() {
    discovery::ConsoleRequest request;
    request.firstAddress = txtAgent->text();
    request.lastAddress = txtAgentTo->text();
    request.oids = txtOID->text();
    request.setValue = txtSetVal->text();
    request.operation = discovery::ConsoleOperation(m_intOperation);
    request.setInteger = chkSetInteger->isChecked();
    request.fullWalk = chkFullWalk->isChecked();
    console_.run(request);
}

// ---- discovery::ConsoleView

void ConsolePanel::setRunning(bool running) {
    cmdGo->setEnabled(!running);
    cmdCancelScan->setVisible(running);
    if (running)
        timer_->stop();
    else
        timer_->start();
}

void ConsolePanel::clearAddresses() { LV_IPs->clear(); }

void ConsolePanel::addAddress(const QString &address) { new QTreeWidgetItem(LV_IPs, {address, {}, {}}); }

void ConsolePanel::showPingResult(int row, const QString &timeText, int icon) {
    QTreeWidgetItem *item = LV_IPs->topLevelItem(row);
    if (!item) return;
    static const QIcon pictures[] = {art::icon(art::HostAnswered), art::icon(art::HostSilent),
                                     art::icon(art::HostChanged)};
    item->setText(1, timeText);
    if (icon >= 1 && icon <= 3) item->setIcon(0, pictures[icon - 1]);
    if (timeText != discovery::SilentTime) LV_IPs->scrollToItem(item);
}

void ConsolePanel::showCurrentAddress(const QString &address, bool answering) {
    if (!address.isEmpty()) {
        txtIP->setText(address);
        txtIP->repaint();
    }
    QPalette colours = txtIP->palette();
    colours.setColor(QPalette::Base, answering ? Answering : Silent);
    txtIP->setPalette(colours);
    txtIP->repaint();
}

void ConsolePanel::clearResults() { lstResults->clear(); }

void ConsolePanel::addResult(const QString &line) {
    lstResults->addItem(line);
    lstResults->scrollToBottom();
}

QStringList ConsolePanel::results() const {
    QStringList lines;
    for (int row = 0; row < lstResults->count(); ++row) lines << lstResults->item(row)->text();
    return lines;
}

void ConsolePanel::showCompletion(const QString &message) {
    QMessageBox box(QMessageBox::NoIcon, programTitle(), message, QMessageBox::Ok, window_);
    box.exec();
}

void ConsolePanel::showFailure(const QString &text) { window_->setStatus(text); }

} // namespace ui
