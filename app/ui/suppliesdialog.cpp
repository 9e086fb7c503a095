#include "suppliesdialog.h"

#include "platform/hostresolution.h"
#include "reading/supplyread.h"
#include "store/conditionstate.h"
#include "store/globals.h"
#include "store/history.h"
#include "store/usage.h"

#include <QApplication>
#include <QDateTime>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyle>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

namespace ui {
namespace {

using reading::conditions::Condition;
using reading::conditions::Severity;
using reading::supplies::Supply;

enum ConditionColumn { SeverityColumn, TextColumn, SinceColumn };
enum SupplyColumn { NameColumn, LevelColumn, DaysColumn, StateColumn, DescriptionColumn, PartColumn, SerialColumn };

using ShownCondition = reading::ConditionNow::Shown;

// One read of the printer as the view shows it.
struct PrinterRead {
    QString failure; // why nothing was read; empty when the printer answered
    QString model;   // hrDeviceDescr
    QString status;  // "device down, printer other"
    QList<ShownCondition> conditions;
    QList<Supply> supplies;
    QMap<int, std::optional<int>> daysLeft; // by supply index, from the reading history
};

QString statusWords(const reading::conditions::Signals &observed) {
    QStringList words;
    if (const QString name = reading::conditions::deviceStatusName(observed.deviceStatus); !name.isEmpty())
        words << u"device "_s + name;
    if (const QString name = reading::conditions::printerStatusName(observed.printerStatus); !name.isEmpty())
        words << u"printer "_s + name;
    return words.join(u", "_s);
}

// The printer of host read now, as the view shows it, with each supply's days left from the reading history. The
// waits run the window's events: nothing here may belong to the view.
PrinterRead readPrinter(const QString &host) {
    PrinterRead read;
    const QString address = platform::ResolveHost(host);
    if (address.isEmpty()) {
        read.failure = u"Cannot resolve "_s + host;
        return read;
    }
    const reading::ConditionNow now = reading::readConditionNow(host, address);
    read.model = now.model;
    if (!now.observed.answered) {
        read.failure = u"The printer does not answer"_s;
        return read;
    }
    read.status = statusWords(now.observed);
    read.supplies = now.supplies.supplies;
    read.conditions = now.conditions;
    const store::History history(store::globals().programFolder, /*readOnly*/ true);
    read.daysLeft = store::daysLeftBySupply(history.supplies(host), QDateTime::currentDateTimeUtc());
    return read;
}

QString capitalised(QString text) {
    if (!text.isEmpty()) text[0] = text[0].toUpper();
    return text;
}

// What the bar writes: the percent, a receptacle's with "full"; without a percent the level in its unit, or the
// words of a level that is no number.
QString barText(const Supply &supply) {
    if (supply.fill.percent)
        return u"%1 %"_s.arg(*supply.fill.percent) + (supply.receptacle ? u" full"_s : QString());
    if (supply.level < 0) return supply.fill.state;
    return supply.unit.isEmpty() ? QString::number(supply.level) : u"%1 %2"_s.arg(supply.level).arg(supply.unit);
}

// The State column: the state where it is not ok and the bar does not already say it.
QString stateText(const Supply &supply) {
    if (supply.fill.aboveMaximum) return u"above its maximum"_s;
    if (supply.fill.state == reading::supplies::Ok || supply.fill.state == barText(supply)) return {};
    return supply.fill.state;
}

QColor mixed(const QColor &a, const QColor &b, double share) {
    return QColor::fromRgbF(float(a.redF() * share + b.redF() * (1 - share)),
                            float(a.greenF() * share + b.greenF() * (1 - share)),
                            float(a.blueF() * share + b.blueF() * (1 - share)));
}

// Black or white, whichever reads better on background.
QColor textOn(const QColor &background) {
    const double luminance = 0.299 * background.red() + 0.587 * background.green() + 0.114 * background.blue();
    return luminance < 140 ? Qt::white : Qt::black;
}

QIcon severityIcon(Severity severity) {
    const QStyle *style = QApplication::style();
    switch (severity) {
    case Severity::Critical: return style->standardIcon(QStyle::SP_MessageBoxCritical);
    case Severity::Warning: return style->standardIcon(QStyle::SP_MessageBoxWarning);
    case Severity::Notice: break;
    }
    return style->standardIcon(QStyle::SP_MessageBoxInformation);
}

void fillConditions(QTreeWidget &list, const QList<ShownCondition> &conditions) {
    list.clear();
    for (const auto &[condition, since] : conditions) {
        auto *row = new QTreeWidgetItem(&list, {reading::conditions::severityName(condition.severity), condition.text,
                                                since.isValid() ? store::shownTime(since) : QString()});
        row->setIcon(SeverityColumn, severityIcon(condition.severity));
    }
    for (const int column : {SeverityColumn, TextColumn}) list.resizeColumnToContents(column);
}

void fillSupplies(QTreeWidget &list, const QList<Supply> &supplies, const QMap<int, std::optional<int>> &daysLeft) {
    list.clear();
    for (const Supply &supply : supplies) {
        const QString days = store::daysLeftText(daysLeft.value(supply.index), supply.receptacle);
        auto *row = new QTreeWidgetItem(&list, {capitalised(supply.name()), {}, days, stateText(supply),
                                                supply.description, supply.maker.partNumber, supply.maker.serial});
        list.setItemWidget(row, LevelColumn, new SupplyBar(supply));
    }
    for (const int column : {NameColumn, DaysColumn, StateColumn, DescriptionColumn, PartColumn})
        list.resizeColumnToContents(column);
}

QTreeWidget *table(const QString &name, const QStringList &headers, QWidget *parent) {
    auto *made = new QTreeWidget(parent);
    made->setObjectName(name);
    made->setHeaderLabels(headers);
    made->setRootIsDecorated(false);
    made->setSelectionMode(QAbstractItemView::NoSelection);
    return made;
}

QGroupBox *framed(const QString &title, QWidget *content, QWidget *parent) {
    auto *box = new QGroupBox(title, parent);
    (new QVBoxLayout(box))->addWidget(content);
    return box;
}

} // namespace

QColor barColour(const QString &colour) {
    static const QMap<QString, QColor> table = {
        {u"black"_s, QColor(0x26, 0x26, 0x26)},   {u"cyan"_s, QColor(0x00, 0x9f, 0xe3)},
        {u"magenta"_s, QColor(0xd6, 0x0b, 0x84)}, {u"yellow"_s, QColor(0xf7, 0xd1, 0x17)},
        {u"red"_s, QColor(0xd3, 0x2f, 0x2f)},     {u"green"_s, QColor(0x38, 0x8e, 0x3c)},
        {u"blue"_s, QColor(0x1e, 0x5a, 0xc8)},    {u"orange"_s, QColor(0xf5, 0x7c, 0x00)},
        {u"violet"_s, QColor(0x7b, 0x1f, 0xa2)},  {u"white"_s, QColor(0xf4, 0xf4, 0xf4)}};
    static const QColor grey(0x9e, 0x9e, 0x9e);
    // The colour's last word names it ("photo black", "light-cyan"); "light" makes it paler.
    static const QRegularExpression nonLetters(u"[^a-z]+"_s);
    const QStringList words = colour.toLower().split(nonLetters, Qt::SkipEmptyParts);
    if (words.isEmpty() || !table.contains(words.last())) return grey;
    const QColor named = table.value(words.last());
    return words.first() == u"light"_s ? mixed(named, Qt::white, 0.55) : named;
}

SupplyBar::SupplyBar(const Supply &supply, QWidget *parent)
    : QWidget(parent), percent_(supply.fill.percent), receptacle_(supply.receptacle),
      colour_(barColour(supply.colour)), text_(barText(supply)) {
    setAccessibleName(supply.name());
    if (supply.level >= 0 && supply.maxCapacity > 0)
        setToolTip(u"%1 of %2 %3"_s.arg(supply.level).arg(supply.maxCapacity).arg(supply.unit).trimmed());
}

QSize SupplyBar::sizeHint() const { return {160, fontMetrics().height() + 6}; }

void SupplyBar::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    const QColor base = palette().color(QPalette::Base), text = palette().color(QPalette::Text);
    const QRect inside = rect().adjusted(1, 1, -1, -1);
    painter.setPen(palette().color(QPalette::Mid));
    painter.setBrush(base);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    QRect filled = inside;
    filled.setWidth(percent_ ? inside.width() * *percent_ / 100 : 0);
    if (receptacle_) {
        // A receptacle fills up: a pale tint of its colour, hatched, so it never reads as a supply that is left.
        painter.fillRect(filled, mixed(colour_, base, 0.3));
        painter.fillRect(filled, QBrush(colour_, Qt::BDiagPattern));
    } else {
        painter.fillRect(filled, colour_);
    }
    painter.setPen(text);
    painter.drawText(inside, Qt::AlignCenter, text_);
    if (receptacle_ || filled.isEmpty()) return;
    painter.setClipRect(filled); // the text over the bar in what reads on the bar's colour
    painter.setPen(textOn(colour_));
    painter.drawText(inside, Qt::AlignCenter, text_);
}

SuppliesDialog::SuppliesDialog(const QString &host, const QString &model, const QString &description, QWidget *parent)
    : QDialog(parent), host_(host), description_(description) {
    setObjectName(u"frmSupplies"_s);
    setWindowTitle(u"Supplies and status: "_s + host);
    lblPrinter = new QLabel(this);
    lblPrinter->setObjectName(u"lblPrinter"_s);
    lblPrinter->setTextFormat(Qt::PlainText);
    QFont bold = lblPrinter->font();
    bold.setBold(true);
    lblPrinter->setFont(bold);
    showPrinter(model);
    lblState = new QLabel(this);
    lblState->setObjectName(u"lblState"_s);
    lblState->setTextFormat(Qt::PlainText);
    lvConditions = table(u"lvConditions"_s, {u"Severity"_s, u"Condition"_s, u"Since"_s}, this);
    lvSupplies = table(u"lvSupplies"_s,
                       {u"Supply"_s, u"Level"_s, u"Days left"_s, u"State"_s, u"Description"_s, u"Part number"_s,
                        u"Serial"_s},
                       this);
    lvSupplies->header()->resizeSection(LevelColumn, 180);
    cmdRead = new QPushButton(u"Read again"_s, this);
    cmdRead->setObjectName(u"cmdRead"_s);
    auto *close = new QPushButton(u"Close"_s, this);
    close->setObjectName(u"cmdClose"_s);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblPrinter);
    layout->addWidget(lblState);
    layout->addWidget(framed(u"Conditions"_s, lvConditions, this), 1);
    layout->addWidget(framed(u"Supplies"_s, lvSupplies, this), 2);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdRead);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    resize(820, 520);

    connect(cmdRead, &QPushButton::clicked, this, &SuppliesDialog::readNow);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    // After the view is shown, from the window's loop: the read runs the window's events while it waits.
    QMetaObject::invokeMethod(this, &SuppliesDialog::readNow, Qt::QueuedConnection);
}

void SuppliesDialog::showPrinter(const QString &model) {
    QString first = model.isEmpty() ? u"Printer"_s : model;
    if (!description_.isEmpty()) first += u" ("_s + description_ + u')';
    lblPrinter->setText(first + u'\n' + host_);
}

void SuppliesDialog::readNow() {
    if (reading_) return;
    reading_ = true;
    cmdRead->setEnabled(false);
    lblState->setText(u"Reading..."_s);
    const QPointer<SuppliesDialog> alive(this);
    const PrinterRead read = readPrinter(QString(host_));
    if (!alive) return; // closed during the read
    reading_ = false;
    cmdRead->setEnabled(true);
    if (!read.model.isEmpty()) showPrinter(read.model);
    fillConditions(*lvConditions, read.conditions);
    fillSupplies(*lvSupplies, read.supplies, read.daysLeft);
    if (!read.failure.isEmpty()) return lblState->setText(read.failure);
    QString state = u"Read "_s + store::shownTime(QDateTime::currentDateTime());
    if (!read.status.isEmpty()) state += u": "_s + read.status;
    if (read.conditions.isEmpty()) state += u"; no condition"_s;
    lblState->setText(state);
}

} // namespace ui
