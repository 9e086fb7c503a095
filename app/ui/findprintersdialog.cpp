#include "findprintersdialog.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

namespace ui {
namespace {

constexpr int StepMilliseconds = 30;
enum Column { Address, Maker, Model, Identity, State };

} // namespace

FindPrintersDialog::FindPrintersDialog(std::function<void()> added, QWidget *parent)
    : QDialog(parent), added_(std::move(added)) {
    setObjectName(u"frmFindPrinters"_s);
    setWindowTitle(u"Find printers"_s);
    txtRange = new QLineEdit(discovery::ownSubnetRanges().join(u' '), this);
    txtRange->setObjectName(u"txtRange"_s);
    txtRange->setToolTip(u"Addresses, a.b.c.d-e ranges or CIDR blocks up to a /16, separated by blanks"_s);
    cmdSearch = new QPushButton(u"Search"_s, this);
    cmdSearch->setObjectName(u"cmdSearch"_s);
    barSearch = new QProgressBar(this);
    barSearch->setObjectName(u"barSearch"_s);
    lblStatus = new QLabel(this);
    lblStatus->setObjectName(u"lblStatus"_s);
    lvFound = new QTreeWidget(this);
    lvFound->setObjectName(u"lvFound"_s);
    lvFound->setHeaderLabels({u"IP"_s, u"Maker"_s, u"Model"_s, u"ID"_s, u"State"_s});
    lvFound->setRootIsDecorated(false);
    cmdAdd = new QPushButton(u"Add"_s, this);
    cmdAdd->setObjectName(u"cmdAdd"_s);
    cmdAdd->setEnabled(false);
    auto *close = new QPushButton(u"Close"_s, this);
    close->setObjectName(u"cmdClose"_s);

    auto *layout = new QGridLayout(this);
    layout->addWidget(new QLabel(u"Range"_s, this), 0, 0);
    layout->addWidget(txtRange, 0, 1);
    layout->addWidget(cmdSearch, 0, 2);
    layout->addWidget(barSearch, 1, 0, 1, 3);
    layout->addWidget(lblStatus, 2, 0, 1, 3);
    layout->addWidget(lvFound, 3, 0, 1, 3);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdAdd);
    buttons->addWidget(close);
    layout->addLayout(buttons, 4, 0, 1, 3);
    resize(720, 420);

    connect(cmdSearch, &QPushButton::clicked, this, &FindPrintersDialog::startSearch);
    connect(cmdAdd, &QPushButton::clicked, this, &FindPrintersDialog::addChecked);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(&steps_, &QTimer::timeout, this, &FindPrintersDialog::step);
}

FindPrintersDialog::~FindPrintersDialog() = default;

void FindPrintersDialog::startSearch() {
    QList<quint32> addresses;
    QString why;
    const QStringList ranges = txtRange->text().split(u' ', Qt::SkipEmptyParts);
    if (ranges.isEmpty() || !discovery::searchAddresses(ranges, addresses, why)) {
        lblStatus->setText(ranges.isEmpty() ? u"No range to search"_s : why);
        return;
    }
    auto search = std::make_unique<discovery::PrinterSearch>();
    if (!search->start(addresses, why)) {
        lblStatus->setText(why);
        return;
    }
    const QStringList outside = discovery::rangesOutside(ranges, discovery::ownSubnets());
    lblStatus->setText(outside.isEmpty() ? u"Searching..."_s
                                         : u"Searching, also outside this machine's subnets: "_s + outside.join(u", "_s));
    search_ = std::move(search);
    found_.clear();
    lvFound->clear();
    cmdSearch->setEnabled(false);
    cmdAdd->setEnabled(false);
    barSearch->setRange(0, int(addresses.size()));
    barSearch->setValue(0);
    steps_.start(0);
}

// A step may wait for a printer while the window's events run: a nested tick does nothing, and a close meanwhile
// ends the search once the step is over.
void FindPrintersDialog::step() {
    if (inStep_ || !search_) return;
    inStep_ = true;
    const bool goesOn = search_->advance(StepMilliseconds);
    inStep_ = false;
    if (!search_) return;
    const auto &progress = search_->progress();
    barSearch->setValue(progress.asked);
    if (goesOn && steps_.isActive()) return;
    if (goesOn) {
        search_.reset(); // closed during the step
        return;
    }
    found_ = search_->hosts();
    lblStatus->setText(u"%1 of %2 addresses answered, %3 printers"_s.arg(progress.answered)
                           .arg(progress.total)
                           .arg(progress.printers));
    stopSearch();
    showResults();
}

void FindPrintersDialog::showResults() {
    for (const discovery::FoundHost &host : found_) {
        auto *row = new QTreeWidgetItem(lvFound, {host.address, host.maker, host.model, host.identity,
                                                  discovery::stateText(host.state)});
        if (host.state == discovery::HostState::New) row->setCheckState(Address, Qt::Unchecked);
    }
    for (int column = Address; column <= State; ++column) lvFound->resizeColumnToContents(column);
    cmdAdd->setEnabled(true);
}

void FindPrintersDialog::addChecked() {
    QList<discovery::FoundHost> chosen;
    for (int i = 0; i < lvFound->topLevelItemCount(); ++i)
        if (lvFound->topLevelItem(i)->checkState(Address) == Qt::Checked) chosen.append(found_[i]);
    const discovery::AddResult result = discovery::addNewPrinters(chosen);
    for (int i = 0; i < lvFound->topLevelItemCount(); ++i) {
        QTreeWidgetItem *row = lvFound->topLevelItem(i);
        if (row->checkState(Address) != Qt::Checked) continue;
        const bool wasAdded = std::any_of(result.added.begin(), result.added.end(),
                                          [&](const discovery::FoundHost &host) { return host.address == row->text(Address); });
        row->setData(Address, Qt::CheckStateRole, {});
        row->setText(State, wasAdded ? u"added"_s : u"no free slot"_s);
        if (wasAdded) found_[i].state = discovery::HostState::Monitored;
    }
    if (!result.added.isEmpty() && added_) added_();
    if (!result.leftOut.isEmpty())
        lblStatus->setText(u"Every slot is taken: %1 printers not added"_s.arg(result.leftOut.size()));
}

void FindPrintersDialog::stopSearch() {
    steps_.stop();
    if (!inStep_) search_.reset();
    cmdSearch->setEnabled(true);
}

void FindPrintersDialog::done(int result) {
    stopSearch();
    QDialog::done(result);
}

} // namespace ui
