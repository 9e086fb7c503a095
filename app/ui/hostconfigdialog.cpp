#include "hostconfigdialog.h"

#include "discovery/printerdialog.h"
#include "discovery/shellping.h"
#include "platform/fault.h"
#include "programtitle.h"
#include "store/globals.h"
#include "store/pips.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace ui {

using namespace Qt::StringLiterals;

namespace {

store::PipRecords records() { return store::PipRecords(store::globals().iniFile); }

int slotToEdit(int slot) {
    if (slot >= 1 && slot <= store::SlotCount) return slot;
    return records().firstFreeSlot();
}

QPushButton *button(const QString &name, const QString &caption, QWidget *parent) {
    auto *made = new QPushButton(caption, parent);
    made->setObjectName(name);
    made->setAutoDefault(false);
    return made;
}

QLineEdit *field(const QString &name, QWidget *parent) {
    auto *made = new QLineEdit(parent);
    made->setObjectName(name);
    return made;
}

} // namespace

HostConfigDialog::HostConfigDialog(int slot, QWidget *parent)
    : QDialog(parent), slot_(slotToEdit(slot)), txtIP(field(u"txtIP"_s, this)), txtDescr(field(u"txtDescr"_s, this)),
      txtSerial(field(u"txtSerial"_s, this)), txtpattern(field(u"txtpattern"_s, this)),
      cmdPing(button(u"cmdPing"_s, u"ping"_s, this)), Command1(button(u"Command1"_s, u"OK"_s, this)),
      cmdCancel(button(u"cmdCancel"_s, u"Cancel"_s, this)),
      cmdRemove(button(u"cmdRemove"_s, u"Remove Printer"_s, this)) {
    setObjectName(u"frmHostConfig"_s);
    setWindowTitle(u"host config"_s);
    Command1->setDefault(true);

    auto *host = new QHBoxLayout;
    host->addWidget(txtIP, 1);
    host->addWidget(cmdPing);
    auto *fields = new QFormLayout;
    fields->addRow(u"Printer IP"_s, host);
    fields->addRow(u"Description"_s, txtDescr);
    fields->addRow(u"Serial"_s, txtSerial);
    fields->addRow(u"Pattern"_s, txtpattern);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdRemove);
    buttons->addStretch();
    buttons->addWidget(Command1);
    buttons->addWidget(cmdCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    txtIP->setMinimumWidth(220);

    connect(cmdPing, &QPushButton::clicked, this, &HostConfigDialog::ping);
    connect(Command1, &QPushButton::clicked, this, &HostConfigDialog::confirm);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(cmdRemove, &QPushButton::clicked, this, &HostConfigDialog::removePrinter);

    load();
}

void HostConfigDialog::load() {
    const bool hasSlot = slot_ != 0;
    Command1->setEnabled(hasSlot);
    cmdRemove->setEnabled(hasSlot);
    if (!hasSlot) return;
    const store::PipRecords stored = records();
    const QString address = stored.address(slot_);
    if (!address.isEmpty() && address != store::BlankField) txtIP->setText(store::hostOf(address).trimmed());
    txtDescr->setText(stored.description(slot_));
}

void HostConfigDialog::confirm() {
    if (slot_ == 0) return;
    for (QLineEdit *edit : {txtIP, txtDescr})
        if (edit->text().trimmed().isEmpty()) edit->setText(store::BlankField);
    records().store(slot_, txtIP->text(), txtDescr->text());
    QString host = txtIP->text();
    QString location = txtDescr->text();
    discovery::updateServer(host, location);
    accept();
}

void HostConfigDialog::removePrinter() {
    if (slot_ == 0) return;
    const auto answer =
        QMessageBox::question(this, programTitle(), u"Are you sure?"_s, QMessageBox::Yes | QMessageBox::No);
    if (answer != QMessageBox::Yes) return;
    records().remove(slot_);
    accept();
}

void HostConfigDialog::ping() {
    short roundTrip = -1;
    try {
        // A pasted address often brings blanks around it; one inside, or a leading "-", is still refused.
        roundTrip = discovery::PingViaShell(txtIP->text().trimmed());
    } catch (const platform::Fault &) {
        // No temporary file for ping's output: the host is not confirmed.
    }
    QPalette colours = txtIP->palette();
    colours.setColor(QPalette::Base, roundTrip == 1 ? Answered : NotAnswered);
    txtIP->setPalette(colours);
}

void HostConfigDialog::edit(int slot, QWidget *parent) {
    HostConfigDialog dialog(slot, parent);
    dialog.exec();
}

} // namespace ui
