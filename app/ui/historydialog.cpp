#include "historydialog.h"

#include "chart.h"
#include "store/conditionstate.h"
#include "store/globals.h"
#include "suppliesdialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMap>
#include <QPushButton>
#include <QSaveFile>
#include <QStandardPaths>
#include <QThread>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace ui {

// One supply as the view shows it: its line, its level now and its days left.
struct SupplyHistory {
    QString name;
    store::SupplyEntry latest;
    QList<LinePoint> points; // percent levels, in time order
    std::optional<int> daysLeft;
};

// What the view read of the store.
struct StoredHistory {
    QString failure; // why there is nothing to show: no store, or one that cannot be read
    QDateTime now, firstReading, lastReading;
    QList<store::Usage> months;
    QList<SupplyHistory> supplies;
};

namespace {

const QString NoStore = u"No history is stored yet: it starts with the next read-and-send cycle."_s;
const QString UsageFileName = u"meterlane-usage.csv"_s;

enum HistoryColumn { SupplyNameColumn, SupplyLevelColumn, DaysLeftColumn };

// Runs work in a thread of its own, then done with its result on context's thread, unless context is gone by then.
// work must own everything it uses.
template <typename Result>
void runAside(QObject *context, std::function<Result()> work, std::function<void(const Result &)> done) {
    auto result = std::make_shared<Result>();
    QThread *thread = QThread::create([result, work = std::move(work)] { *result = work(); });
    QObject::connect(thread, &QThread::finished, context, [result, done = std::move(done)] { done(*result); });
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
}

// "Cyan toner", "Waste toner"; a supply whose kind says nothing by its description.
QString supplyName(const store::SupplyEntry &entry) {
    const bool untyped = entry.kind.isEmpty() || entry.kind == u"other"_s || entry.kind == u"unknown"_s;
    const QString noun = !untyped                      ? entry.kind
                         : entry.description.isEmpty() ? u"supply %1"_s.arg(entry.index)
                                                       : entry.description;
    QString name =
        entry.colour.isEmpty() || noun.contains(entry.colour, Qt::CaseInsensitive) ? noun : entry.colour + u' ' + noun;
    if (!name.isEmpty()) name[0] = name[0].toUpper();
    return name;
}

QList<SupplyHistory> suppliesOf(const QList<store::SupplyEntry> &entries, const QDateTime &now) {
    QMap<int, QList<store::SupplyEntry>> byIndex;
    for (const store::SupplyEntry &entry : entries) byIndex[entry.index].append(entry);
    QList<SupplyHistory> supplies;
    for (const QList<store::SupplyEntry> &levels : std::as_const(byIndex)) {
        SupplyHistory supply{supplyName(levels.last()), levels.last(), {}, store::daysLeft(levels, now)};
        for (const store::SupplyEntry &level : levels)
            if (level.percent) supply.points.append({level.time, double(*level.percent)});
        supplies.append(supply);
    }
    return supplies;
}

// The printer's months and supplies over the shown months, read on the calling thread's own connection.
StoredHistory readStore(const QString &folder, const QString &host, const QDateTime &now) {
    StoredHistory stored;
    stored.now = now;
    if (!QFileInfo::exists(QDir(folder).filePath(store::HistoryFileName))) {
        stored.failure = NoStore;
        return stored;
    }
    const store::History history(folder, /*readOnly*/ true);
    if (!history.isOpen()) {
        stored.failure = history.failure();
        return stored;
    }
    const QDate shownFrom =
        store::periodStart(store::Period::Month, now.date()).addMonths(-(HistoryDialog::ShownMonths - 1));
    // Every reading, so that the first month shown has the readings before it and may be complete.
    const QList<store::ReadingEntry> readings = history.readings(host);
    if (!readings.isEmpty()) {
        stored.firstReading = readings.first().time;
        stored.lastReading = readings.last().time;
        const bool older = stored.firstReading.date() < shownFrom;
        stored.months = store::usageOf(readings, store::Period::Month, older ? shownFrom : QDate());
    }
    stored.supplies = suppliesOf(history.supplies(host, QDateTime(shownFrom, QTime(0, 0), Qt::UTC)), now);
    return stored;
}

// Writes every printer's monthly usage to path; what failed, empty when the file was written whole.
QString writeUsage(const QString &folder, const QString &path) {
    if (!QFileInfo::exists(QDir(folder).filePath(store::HistoryFileName))) return NoStore;
    const store::History history(folder, /*readOnly*/ true);
    if (!history.isOpen()) return history.failure();
    QList<store::Usage> months;
    for (const QString &host : history.hosts()) months += store::usageOf(history.readings(host), store::Period::Month);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return file.errorString();
    file.write(usageCsv(months).toUtf8());
    return file.commit() ? QString() : file.errorString();
}

// A field as RFC 4180 has it: quoted, its quotes doubled, where it holds a comma, a quote or a line break.
QString csvField(QString text) {
    static const QList<QChar> special = {u',', u'"', u'\r', u'\n'};
    if (std::none_of(special.begin(), special.end(), [&](QChar c) { return text.contains(c); })) return text;
    return u'"' + text.replace(u'"', u"\"\""_s) + u'"';
}

ChartData pagesChart(const QList<store::Usage> &months) {
    ChartData data;
    data.barSeries = {{u"Black and white"_s, barColour(u"black"_s)}, {u"Colour"_s, barColour(u"cyan"_s)}};
    for (const store::Usage &month : months)
        data.groups.append({month.period, {month.blackAndWhite, month.colour}, !month.complete});
    data.emptyText = u"No readings of this printer are stored yet."_s;
    return data;
}

ChartData suppliesChart(const QList<SupplyHistory> &supplies, const QDateTime &now) {
    ChartData data;
    for (const SupplyHistory &supply : supplies) {
        if (supply.points.isEmpty()) continue; // levels in words only: no line to draw
        data.lines.append({{supply.name, barColour(supply.latest.colour), supply.latest.receptacle}, supply.points});
        if (!data.from.isValid() || supply.points.first().time < data.from) data.from = supply.points.first().time;
    }
    data.to = now;
    data.emptyText = u"No supply levels of this printer are stored yet."_s;
    return data;
}

// The level bar of the supplies' view, of the supply's last stored level.
SupplyBar *levelBar(const SupplyHistory &supply) {
    reading::supplies::Supply shown;
    shown.colour = supply.latest.colour;
    shown.receptacle = supply.latest.receptacle;
    shown.fill.percent = supply.latest.percent;
    shown.fill.state = supply.latest.state;
    shown.level = supply.latest.percent.value_or(-1);
    auto *bar = new SupplyBar(shown);
    bar->setAccessibleName(supply.name);
    return bar;
}

// A frame around content, each widget with its share of the height.
QGroupBox *groupOf(const QString &title, const QList<std::pair<QWidget *, int>> &content, QWidget *parent) {
    auto *box = new QGroupBox(title, parent);
    auto *layout = new QVBoxLayout(box);
    for (const auto &[widget, stretch] : content) layout->addWidget(widget, stretch);
    return box;
}

QLabel *plainLabel(const QString &name, QWidget *parent) {
    auto *made = new QLabel(parent);
    made->setObjectName(name);
    made->setTextFormat(Qt::PlainText);
    return made;
}

Chart *chart(const QString &name, QWidget *parent) {
    auto *made = new Chart(parent);
    made->setObjectName(name);
    return made;
}

} // namespace

QString usageCsv(const QList<store::Usage> &months) {
    QString text = u"Host,Month,Black and white,Colour,Complete\r\n"_s;
    for (const store::Usage &month : months)
        text += QStringList{csvField(month.host), month.period, QString::number(month.blackAndWhite),
                            QString::number(month.colour), month.complete ? u"yes"_s : u"no"_s}
                    .join(u',') +
                u"\r\n"_s;
    return text;
}

HistoryDialog::HistoryDialog(const QString &host, const QString &model, const QString &description, QWidget *parent)
    : QDialog(parent), host_(host) {
    setObjectName(u"frmHistory"_s);
    setWindowTitle(u"History: "_s + host);
    lblPrinter = plainLabel(u"lblPrinter"_s, this);
    QFont bold = lblPrinter->font();
    bold.setBold(true);
    lblPrinter->setFont(bold);
    lblPrinter->setText((model.isEmpty() ? u"Printer"_s : model) +
                        (description.isEmpty() ? QString() : u" ("_s + description + u')') + u'\n' + host);
    lblState = plainLabel(u"lblState"_s, this);
    chtPages = chart(u"chtPages"_s, this);
    lblEstimated = plainLabel(u"lblEstimated"_s, this);
    lblEstimated->setText(u"Lighter bars are estimated: the month lacks a reading at its start or its end."_s);
    lblEstimated->hide();
    chtSupplies = chart(u"chtSupplies"_s, this);
    lvSupplies = new QTreeWidget(this);
    lvSupplies->setObjectName(u"lvSupplies"_s);
    lvSupplies->setHeaderLabels({u"Supply"_s, u"Level"_s, u"Days left"_s});
    lvSupplies->setRootIsDecorated(false);
    lvSupplies->setSelectionMode(QAbstractItemView::NoSelection);
    lvSupplies->header()->resizeSection(SupplyLevelColumn, 180);
    lblExport = plainLabel(u"lblExport"_s, this);
    cmdExport = new QPushButton(u"Export CSV..."_s, this);
    cmdExport->setObjectName(u"cmdExport"_s);
    cmdExport->setToolTip(u"Every printer's pages per month, in a file you choose"_s);
    cmdExport->setEnabled(false);
    auto *close = new QPushButton(u"Close"_s, this);
    close->setObjectName(u"cmdClose"_s);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblPrinter);
    layout->addWidget(lblState);
    layout->addWidget(groupOf(u"Pages per month"_s, {{chtPages, 1}, {lblEstimated, 0}}, this), 1);
    layout->addWidget(groupOf(u"Supply levels"_s, {{chtSupplies, 2}, {lvSupplies, 1}}, this), 1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(lblExport, 1);
    buttons->addWidget(cmdExport);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    resize(820, 720);

    connect(cmdExport, &QPushButton::clicked, this, &HistoryDialog::exportCsv);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    load();
}

void HistoryDialog::load() {
    loading_ = true;
    lblState->setText(u"Loading the history..."_s);
    runAside<StoredHistory>(
        this,
        [folder = store::globals().programFolder, host = host_, now = QDateTime::currentDateTimeUtc()] {
            return readStore(folder, host, now);
        },
        [this](const StoredHistory &stored) { showStored(stored); });
}

void HistoryDialog::showStored(const StoredHistory &stored) {
    loading_ = false;
    if (!stored.failure.isEmpty()) return lblState->setText(stored.failure);
    cmdExport->setEnabled(true);
    lblState->setText(stored.firstReading.isValid()
                          ? u"Readings stored from %1 to %2"_s.arg(store::shownTime(stored.firstReading),
                                                                   store::shownTime(stored.lastReading))
                          : u"No readings of this printer are stored yet."_s);
    chtPages->setData(pagesChart(stored.months));
    lblEstimated->setVisible(std::any_of(stored.months.begin(), stored.months.end(),
                                         [](const store::Usage &month) { return !month.complete; }));
    chtSupplies->setData(suppliesChart(stored.supplies, stored.now));
    lvSupplies->clear();
    for (const SupplyHistory &supply : stored.supplies) {
        auto *row = new QTreeWidgetItem(
            lvSupplies, {supply.name, {}, store::daysLeftText(supply.daysLeft, supply.latest.receptacle)});
        lvSupplies->setItemWidget(row, SupplyLevelColumn, levelBar(supply));
    }
    for (const int column : {SupplyNameColumn, DaysLeftColumn}) lvSupplies->resizeColumnToContents(column);
}

void HistoryDialog::exportCsv() {
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    const QString path = QFileDialog::getSaveFileName(this, u"Export monthly usage"_s,
                                                      QDir(desktop).filePath(UsageFileName), u"CSV files (*.csv)"_s);
    if (path.isEmpty()) return;
    exporting_ = true;
    cmdExport->setEnabled(false);
    lblExport->setText(u"Exporting..."_s);
    runAside<QString>(
        this, [folder = store::globals().programFolder, path] { return writeUsage(folder, path); },
        [this, path](const QString &failure) {
            exporting_ = false;
            cmdExport->setEnabled(true);
            lblExport->setText(failure.isEmpty()
                                   ? u"Exported to "_s + QDir::toNativeSeparators(path)
                                   : u"Cannot export to %1: %2"_s.arg(QDir::toNativeSeparators(path), failure));
        });
}

} // namespace ui
