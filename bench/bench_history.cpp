// The reading history of a 200-printer site after two years: a reading every 75 minutes, each printer with 15 supplies
// (four toners, drums and developers, a transfer belt, a fuser, a waste toner box) whose levels change about once a
// day. The store is seeded in the shape it keeps, one transaction per printer (History::recordAll): every row of the
// last 90 days, as record stores it (a supply's level where it changed, and the day's first), and before that one a
// day, the day's last; then pruning runs up to the last reading and should find nothing left to thin. Measured:
// (a) one cycle storing the 200 readings with their 15 supplies as read, through History::record (which prunes a
// step after each), over several cycles; (b) meterlane-cli usage --by month over the whole site, as a whole process,
// median of 3; (c) the file's size. Prints how long the seeding took. The store lives in a temporary folder on disk
// ($TMPDIR, else /tmp).
//   bench_history [PRINTERS [DAYS]]   default 200 printers and 730 days
#include "store/history.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <random>
#include <vector>

namespace {

constexpr qint64 DayMs = 24 * 3600 * 1000;
constexpr qint64 ReadingEveryMs = 75 * 60 * 1000;
constexpr int Supplies = 15;
constexpr int Cycles = 5;
constexpr int UsageRuns = 3;

[[noreturn]] void fail(const QString &why) {
    std::fprintf(stderr, "bench_history: %s\n", qPrintable(why));
    std::exit(1);
}

struct SupplyKind {
    const char *kind, *colour;
    bool receptacle;
};

const SupplyKind Kinds[Supplies] = {
    {"toner", "black", false},         {"toner", "cyan", false},
    {"toner", "magenta", false},       {"toner", "yellow", false},
    {"drum (opc)", "black", false},    {"drum (opc)", "cyan", false},
    {"drum (opc)", "magenta", false},  {"drum (opc)", "yellow", false},
    {"developer", "black", false},     {"developer", "cyan", false},
    {"developer", "magenta", false},   {"developer", "yellow", false},
    {"transfer unit", "", false},      {"fuser", "", false},
    {"waste toner", "", true},
};

// One simulated printer: its totals grow by a random number of pages per reading, and each supply's level moves a
// point a day at a time of day of its own (a consumed one down from 100, a receptacle up from 0, starting again).
class Printer {
public:
    Printer(int number, qint64 startMs)
        : host_(QStringLiteral("printer-%1").arg(number + 1, 3, 10, QLatin1Char('0'))),
          identity_(QStringLiteral("SN%1").arg(100000 + number)), startMs_(startMs), random_(number) {
        for (int s = 0; s < Supplies; ++s) {
            changeAtMs_[s] = qint64((s * 97 + number * 13) % (24 * 60)) * 60 * 1000;
            offset_[s] = (number * 7 + s * 11) % 100;
        }
    }

    const QString &host() const { return host_; }

    // The printer's next reading at time, with every supply as read.
    store::ReadingRecord read(const QDateTime &time) {
        blackAndWhite_ += std::uniform_int_distribution<int>(0, 60)(random_);
        colour_ += std::uniform_int_distribution<int>(0, 20)(random_);
        store::ReadingRecord record;
        record.reading = {time, host_, identity_, QStringLiteral("ECOSYS P6235cdn"), blackAndWhite_, colour_};
        record.reading.upload = store::Upload::Accepted;
        for (int s = 0; s < Supplies; ++s) {
            const int percent = levelAt(s, time.toMSecsSinceEpoch());
            record.supplies << store::SupplyEntry{time,
                                                  host_,
                                                  s + 1,
                                                  QString::fromLatin1(Kinds[s].kind),
                                                  QString::fromLatin1(Kinds[s].colour),
                                                  QStringLiteral("%1 %2").arg(Kinds[s].colour, Kinds[s].kind),
                                                  QStringLiteral("PN-%1").arg(s + 1),
                                                  Kinds[s].receptacle,
                                                  percent,
                                                  QStringLiteral("ok")};
        }
        return record;
    }

private:
    int levelAt(int supply, qint64 ms) const {
        const qint64 firstChange = startMs_ / DayMs * DayMs + changeAtMs_[supply];
        const int changes = ms < firstChange ? 0 : int((ms - firstChange) / DayMs) + 1;
        const int moved = (offset_[supply] + changes) % 101;
        return Kinds[supply].receptacle ? moved : 100 - moved;
    }

    QString host_, identity_;
    qint64 startMs_;
    std::mt19937 random_;
    qint64 blackAndWhite_ = 100000, colour_ = 20000;
    qint64 changeAtMs_[Supplies];
    int offset_[Supplies];
};

// The rows of a printer's readings from start to end as the store keeps them at end: the supplies that record
// stores (changed since the last stored, or the day's first), and before the last 90 days only the day's last
// reading and the day's last level of each supply where it differs from the one kept before.
QList<store::ReadingRecord> keptRows(Printer &printer, qint64 startMs, qint64 endMs, int *supplyRows) {
    const qint64 firstRawDay = (endMs - qint64(store::RawDays) * DayMs) / DayMs;
    QList<store::ReadingRecord> kept;
    std::optional<store::ReadingRecord> day; // the thinned day being gathered
    QMap<int, store::SupplyEntry> lastStored, lastKept;
    const auto closeDay = [&] {
        if (!day) return;
        QList<store::SupplyEntry> changed;
        for (const store::SupplyEntry &supply : day->supplies) {
            const auto before = lastKept.constFind(supply.index);
            if (before != lastKept.cend() && before->percent == supply.percent && before->state == supply.state)
                continue;
            lastKept.insert(supply.index, supply);
            changed << supply;
        }
        day->supplies = changed;
        *supplyRows += int(changed.size());
        kept << *day;
        day.reset();
    };
    for (qint64 ms = startMs; ms <= endMs; ms += ReadingEveryMs) {
        store::ReadingRecord read = printer.read(QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC));
        QList<store::SupplyEntry> stored;
        for (const store::SupplyEntry &supply : read.supplies) {
            const auto last = lastStored.constFind(supply.index);
            if (last != lastStored.cend() && last->time.toMSecsSinceEpoch() / DayMs == ms / DayMs &&
                last->percent == supply.percent)
                continue;
            lastStored.insert(supply.index, supply);
            stored << supply;
        }
        read.supplies = stored;
        if (ms / DayMs >= firstRawDay) {
            closeDay();
            *supplyRows += int(stored.size());
            kept << read;
            continue;
        }
        if (day && day->reading.time.toMSecsSinceEpoch() / DayMs != ms / DayMs) closeDay();
        if (!day) day.emplace();
        day->reading = read.reading;
        for (const store::SupplyEntry &supply : stored) {
            const auto same = std::find_if(day->supplies.begin(), day->supplies.end(),
                                           [&](const store::SupplyEntry &s) { return s.index == supply.index; });
            if (same != day->supplies.end()) *same = supply;
            else day->supplies << supply;
        }
    }
    closeDay();
    return kept;
}

qint64 median(std::vector<qint64> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    const int printers = argc > 1 ? std::atoi(argv[1]) : 200;
    const int days = argc > 2 ? std::atoi(argv[2]) : 730;
    if (printers <= 0 || days <= store::RawDays) fail(QStringLiteral("usage: bench_history [PRINTERS [DAYS > 90]]"));
    QTemporaryDir folder;
    if (!folder.isValid()) fail(QStringLiteral("no temporary folder"));

    const qint64 endMs = QDateTime::currentMSecsSinceEpoch() / 60000 * 60000;
    const qint64 startMs = endMs - qint64(days) * DayMs;
    std::vector<std::unique_ptr<Printer>> site;
    for (int p = 0; p < printers; ++p) site.push_back(std::make_unique<Printer>(p, startMs));

    auto history = std::make_unique<store::History>(folder.path());
    if (!history->isOpen()) fail(history->failure());
    std::printf("seeding %d printers, %d days, a reading every 75 minutes, in %s\n", printers, days,
                qPrintable(folder.path()));
    std::fflush(stdout);
    QElapsedTimer seeding;
    seeding.start();
    qint64 readingRows = 0;
    int supplyRows = 0;
    for (const auto &printer : site) {
        const QList<store::ReadingRecord> rows = keptRows(*printer, startMs, endMs, &supplyRows);
        readingRows += rows.size();
        if (!history->recordAll(rows)) fail(history->failure());
    }
    const qint64 seededMs = seeding.elapsed();
    QElapsedTimer pruning;
    pruning.start();
    int thinned = 0;
    const QDateTime end = QDateTime::fromMSecsSinceEpoch(endMs, Qt::UTC);
    for (int step = 0; step <= days; ++step) thinned += history->pruneStep(end);
    std::printf("seeded %lld readings and %d supply levels in %.1f s; pruning up to the last reading: %d rows thinned "
                "in %.1f s\n",
                readingRows, supplyRows, seededMs / 1000.0, thinned, pruning.elapsed() / 1000.0);

    std::vector<qint64> cycleUs;
    for (int cycle = 1; cycle <= Cycles; ++cycle) {
        const QDateTime time = QDateTime::fromMSecsSinceEpoch(endMs + cycle * ReadingEveryMs, Qt::UTC);
        QList<store::ReadingRecord> reads;
        for (const auto &printer : site) reads << printer->read(time);
        QElapsedTimer timer;
        timer.start();
        for (const store::ReadingRecord &read : reads)
            if (history->record(read) == 0) fail(history->failure());
        cycleUs.push_back(timer.nsecsElapsed() / 1000);
    }
    std::printf("(a) one cycle of %d readings with %d supplies each through History::record: median %.1f ms of %d "
                "cycles (%.2f ms a reading), slowest %.1f ms\n",
                printers, Supplies, median(cycleUs) / 1000.0, Cycles, median(cycleUs) / 1000.0 / printers,
                *std::max_element(cycleUs.begin(), cycleUs.end()) / 1000.0);
    history.reset(); // closed, so that the write-ahead log is folded into the file

    std::vector<qint64> usageMs;
    qsizetype rows = 0;
    for (int run = 0; run < UsageRuns; ++run) {
        QProcess usage;
        QElapsedTimer timer;
        timer.start();
        usage.start(QStringLiteral(METERLANE_BIN_DIR "/meterlane-cli"),
                    QStringList{QStringLiteral("usage"), QStringLiteral("--by"), QStringLiteral("month"),
                                QStringLiteral("--folder"), folder.path()});
        if (!usage.waitForFinished(600000) || usage.exitCode() != 0)
            fail(QStringLiteral("meterlane-cli usage failed: ") + QString::fromUtf8(usage.readAllStandardError()));
        usageMs.push_back(timer.elapsed());
        rows = usage.readAllStandardOutput().count('\n');
    }
    std::printf("(b) meterlane-cli usage --by month over the site, whole process: median %lld ms of %d runs "
                "(%lld rows)\n",
                median(usageMs), UsageRuns, qint64(rows));

    const QString path = folder.filePath(store::HistoryFileName);
    const qint64 wal = QFileInfo(path + QStringLiteral("-wal")).size();
    std::printf("(c) %s: %.1f MB (write-ahead log %.1f MB)\n", qPrintable(store::HistoryFileName),
                QFileInfo(path).size() / 1e6, wal / 1e6);
    return 0;
}
