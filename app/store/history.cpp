#include "history.h"

#include "inifile.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <atomic>

namespace store {
namespace {

constexpr int SchemaVersion = 1;
constexpr qint64 Day = 24 * 3600 * 1000; // milliseconds
constexpr int DayOfRowsAtMost = 5000; // what a step of pruning removes of the rows past five years, at most

// The schema of version 1. Times are UTC milliseconds since the epoch; a day is a UTC day. A supply's names are stored
// once (supply_names) and its levels as small rows beside them, for they are the most numerous: their times in
// seconds, and the state "ok" as none.
const char *const Schema[] = {
    "CREATE TABLE readings (id INTEGER PRIMARY KEY, time INTEGER NOT NULL, host TEXT NOT NULL, identity TEXT,"
    " model TEXT, black_and_white INTEGER NOT NULL, colour INTEGER NOT NULL, print_bw INTEGER,"
    " print_colour INTEGER, copy_bw INTEGER, copy_colour INTEGER, fax INTEGER, large INTEGER, duplex INTEGER,"
    " upload TEXT NOT NULL)",
    "CREATE INDEX readings_by_host ON readings (host, time)",
    "CREATE INDEX readings_by_time ON readings (time)",
    "CREATE TABLE supply_names (id INTEGER PRIMARY KEY, host TEXT NOT NULL, supply INTEGER NOT NULL, kind TEXT,"
    " colour TEXT, receptacle INTEGER NOT NULL, description TEXT, part_number TEXT)",
    "CREATE INDEX supply_names_by_host ON supply_names (host, supply)",
    "CREATE TABLE supplies (name INTEGER NOT NULL, time INTEGER NOT NULL, percent INTEGER, state TEXT,"
    " PRIMARY KEY (name, time)) WITHOUT ROWID",
    "CREATE TABLE conditions (id INTEGER PRIMARY KEY, host TEXT NOT NULL, key TEXT NOT NULL, kind TEXT NOT NULL,"
    " text TEXT, severity INTEGER NOT NULL, raised INTEGER NOT NULL, cleared INTEGER)",
    "CREATE INDEX conditions_by_host ON conditions (host, raised)",
    "CREATE TABLE meta (key TEXT PRIMARY KEY, value INTEGER)",
};

const char *const UploadNames[] = {"pending", "accepted", "waiting", "failed"};

qint64 msOf(const QDateTime &time) { return time.toMSecsSinceEpoch(); }
QDateTime timeOf(const QVariant &value, qint64 unit = 1) {
    return value.isNull() ? QDateTime() : QDateTime::fromMSecsSinceEpoch(value.toLongLong() * unit, Qt::UTC);
}
constexpr qint64 Second = 1000; // a supply level's unit of time, in milliseconds
const QString OkState = QStringLiteral("ok");

QVariant stateValue(const QString &state) { return state == OkState ? QVariant() : QVariant(state); }
QString stateOf(const QVariant &value) { return value.isNull() ? OkState : value.toString(); }
QVariant countOf(qint64 count) { return count < 0 ? QVariant() : QVariant(count); }
qint64 countFrom(const QVariant &value) { return value.isNull() ? -1 : value.toLongLong(); }

Upload uploadNamed(const QString &name) {
    for (int i = 0; i < int(std::size(UploadNames)); ++i)
        if (name == QLatin1String(UploadNames[i])) return Upload(i);
    return Upload::Pending;
}

QString uniqueConnection() {
    static std::atomic<int> made{0};
    return QStringLiteral("history-%1").arg(made++);
}

// A query bound in order; false with the error in failure.
bool run(QSqlQuery &query, const QString &statement, const QVariantList &values, QString &failure) {
    if (!query.prepare(statement)) {
        failure = query.lastError().text();
        return false;
    }
    for (const QVariant &value : values) query.addBindValue(value);
    if (query.exec()) return true;
    failure = query.lastError().text();
    return false;
}

// The clause and values that keep rows of host (all hosts where empty) from since to until.
std::pair<QString, QVariantList> window(const QString &host, const QDateTime &since, const QDateTime &until,
                                        const char *timeColumn, qint64 unit) {
    QStringList where;
    QVariantList values;
    if (!host.isEmpty()) {
        where << QStringLiteral("host = ?");
        values << host;
    }
    if (since.isValid()) {
        where << QStringLiteral("%1 >= ?").arg(QLatin1String(timeColumn));
        values << msOf(since) / unit;
    }
    if (until.isValid()) {
        where << QStringLiteral("%1 <= ?").arg(QLatin1String(timeColumn));
        values << msOf(until) / unit;
    }
    return {where.isEmpty() ? QString() : QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND ")), values};
}

bool isNotOurs(const QString &error) {
    return error.contains(QLatin1String("not a database")) || error.contains(QLatin1String("malformed"));
}

} // namespace

QString uploadName(Upload upload) { return QString::fromLatin1(UploadNames[int(upload)]); }

History::History(const QString &folder, bool readOnly)
    : path_(QDir(folder).filePath(HistoryFileName)), connection_(uniqueConnection()), readOnly_(readOnly) {
    if (readOnly && !QFile::exists(path_)) {
        failure_ = QStringLiteral("No reading history: ") + path_ + QStringLiteral(" does not exist");
        return;
    }
    if (open() || readOnly) return;
    if (!isNotOurs(failure_)) return;
    // A file that is not a database of ours: set aside, and a new one started.
    QSqlDatabase::database(connection_, false).close();
    const QString aside = setAside(path_);
    if (aside.isEmpty()) {
        failure_ = QStringLiteral("Cannot write %1: it is no reading history and cannot be set aside").arg(path_);
        return;
    }
    setAsideAs_ = aside;
    open();
}

History::~History() {
    {
        QSqlDatabase database = QSqlDatabase::database(connection_, false);
        if (database.isValid()) database.close();
    }
    QSqlDatabase::removeDatabase(connection_);
}

bool History::open() {
    failure_.clear();
    QSqlDatabase database = QSqlDatabase::contains(connection_) ? QSqlDatabase::database(connection_, false)
                                                                : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"),
                                                                                            connection_);
    database.setDatabaseName(path_);
    // A reader waits for a writer's moment of exclusive work rather than failing.
    database.setConnectOptions(readOnly_ ? QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000")
                                         : QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!database.open()) {
        failure_ = QStringLiteral("Cannot open %1: %2").arg(path_, database.lastError().text());
        return false;
    }
    QSqlQuery query(database);
    if (!run(query, QStringLiteral("PRAGMA user_version"), {}, failure_) || !query.next()) {
        failure_ = QStringLiteral("Cannot read %1: %2").arg(path_, failure_);
        return false;
    }
    const int version = query.value(0).toInt();
    query.finish();
    if (version > SchemaVersion) {
        failure_ = QStringLiteral("Cannot use %1: it was made by a newer version").arg(path_);
        return false;
    }
    if (version == SchemaVersion) return opened_ = true;
    if (readOnly_) return fail(QStringLiteral("empty"));
    return opened_ = create(database);
}

bool History::fail(const QString &why) {
    failure_ = QStringLiteral("Cannot read %1: %2").arg(path_, why);
    return false;
}

bool History::create(QSqlDatabase &database) {
    QSqlQuery query(database);
    QString why;
    const bool wal = run(query, QStringLiteral("PRAGMA journal_mode=WAL"), {}, why);
    query.finish();
    if (!wal || !database.transaction()) {
        failure_ = QStringLiteral("Cannot write %1: %2").arg(path_, why.isEmpty() ? database.lastError().text() : why);
        return false;
    }
    bool made = true;
    for (const char *statement : Schema) made = made && run(query, QString::fromLatin1(statement), {}, why);
    made = made && run(query, QStringLiteral("PRAGMA user_version = %1").arg(SchemaVersion), {}, why);
    if (made && database.commit()) return true;
    database.rollback();
    failure_ = QStringLiteral("Cannot write %1: %2").arg(path_, why);
    return false;
}

bool History::isOpen() const { return opened_; }
QString History::failure() const { return failure_; }

bool History::write(const std::function<bool(QSqlQuery &, QString &)> &work) {
    if (!isOpen() || readOnly_) return false;
    failure_.clear(); // a write that failed before says nothing of this one
    QSqlDatabase database = QSqlDatabase::database(connection_, false);
    QString why;
    if (!database.transaction()) {
        failure_ = QStringLiteral("Cannot write %1: %2").arg(path_, database.lastError().text());
        return false;
    }
    QSqlQuery query(database);
    if (work(query, why) && database.commit()) return true;
    database.rollback();
    failure_ = QStringLiteral("Cannot write %1: %2").arg(path_, why.isEmpty() ? database.lastError().text() : why);
    return false;
}

namespace {

bool insertReading(QSqlQuery &query, const ReadingEntry &reading, QString &why) {
    return run(query,
               QStringLiteral("INSERT INTO readings (time, host, identity, model, black_and_white, colour, print_bw,"
                              " print_colour, copy_bw, copy_colour, fax, large, duplex, upload)"
                              " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
               {msOf(reading.time), reading.host, reading.identity, reading.model, reading.blackAndWhite,
                reading.colour, countOf(reading.printBlackAndWhite), countOf(reading.printColour),
                countOf(reading.copyBlackAndWhite), countOf(reading.copyColour), countOf(reading.fax),
                countOf(reading.large), countOf(reading.duplex), uploadName(reading.upload)},
               why);
}

// The id of the supply's names (kind, colour, description, part number), stored once; 0 on a failure.
qint64 nameOf(QSqlQuery &query, const SupplyEntry &supply, QString &why) {
    const QVariantList names = {supply.host,        supply.index,       supply.kind,       supply.colour,
                                supply.receptacle ? 1 : 0, supply.description, supply.partNumber};
    if (!run(query,
             QStringLiteral("SELECT id FROM supply_names WHERE host = ? AND supply = ? AND kind IS ? AND colour IS ?"
                            " AND receptacle = ? AND description IS ? AND part_number IS ?"),
             names, why))
        return 0;
    if (query.next()) return query.value(0).toLongLong();
    if (!run(query,
             QStringLiteral("INSERT INTO supply_names (host, supply, kind, colour, receptacle, description,"
                            " part_number) VALUES (?, ?, ?, ?, ?, ?, ?)"),
             names, why))
        return 0;
    return query.lastInsertId().toLongLong();
}

// A supply's level, unless its last stored level says the same on the same day.
bool insertSupply(QSqlQuery &query, const SupplyEntry &supply, QString &why) {
    const qint64 name = nameOf(query, supply, why);
    if (!name) return false;
    const QVariant percent = supply.percent ? QVariant(*supply.percent) : QVariant();
    if (!run(query, QStringLiteral("SELECT time, percent, state FROM supplies WHERE name = ? ORDER BY time DESC LIMIT 1"),
             {name}, why))
        return false;
    if (query.next() && query.value(0).toLongLong() * Second / Day == msOf(supply.time) / Day &&
        query.value(1) == percent && stateOf(query.value(2)) == supply.state)
        return true;
    return run(query, QStringLiteral("INSERT OR REPLACE INTO supplies (name, time, percent, state) VALUES (?, ?, ?, ?)"),
               {name, msOf(supply.time) / Second, percent, stateValue(supply.state)}, why);
}

bool insertConditions(QSqlQuery &query, const QList<ConditionEntry> &raised, const QList<ConditionEntry> &cleared,
                      QString &why) {
    for (const ConditionEntry &condition : raised)
        if (!run(query,
                 QStringLiteral("INSERT INTO conditions (host, key, kind, text, severity, raised) VALUES (?, ?, ?, ?, ?, ?)"),
                 {condition.host, condition.key, condition.kind, condition.text, condition.severity,
                  msOf(condition.raised)},
                 why))
            return false;
    for (const ConditionEntry &condition : cleared)
        if (!run(query,
                 QStringLiteral("UPDATE conditions SET cleared = ? WHERE id = (SELECT id FROM conditions WHERE host = ?"
                                " AND key = ? AND cleared IS NULL ORDER BY raised DESC LIMIT 1)"),
                 {msOf(condition.cleared), condition.host, condition.key}, why))
            return false;
    return true;
}

// The reading's row (its id in id), its supplies that changed and its conditions.
bool insertRecord(QSqlQuery &query, const ReadingRecord &record, qint64 &id, QString &why) {
    if (!insertReading(query, record.reading, why)) return false;
    id = query.lastInsertId().toLongLong();
    for (const SupplyEntry &supply : record.supplies)
        if (!insertSupply(query, supply, why)) return false;
    return insertConditions(query, record.raised, record.cleared, why);
}

} // namespace

qint64 History::record(const ReadingRecord &record) {
    qint64 id = 0;
    if (!write([&](QSqlQuery &query, QString &why) { return insertRecord(query, record, id, why); })) return 0;
    pruneStep(record.reading.time);
    return id;
}

bool History::recordAll(const QList<ReadingRecord> &records) {
    return write([&](QSqlQuery &query, QString &why) {
        qint64 id = 0;
        for (const ReadingRecord &record : records)
            if (!insertRecord(query, record, id, why)) return false;
        return true;
    });
}

bool History::recordConditions(const QList<ConditionEntry> &raised, const QList<ConditionEntry> &cleared) {
    if (raised.isEmpty() && cleared.isEmpty()) return isOpen();
    return write([&](QSqlQuery &query, QString &why) { return insertConditions(query, raised, cleared, why); });
}

bool History::setUpload(const QString &host, const QDateTime &time, Upload upload) {
    bool found = false;
    const bool stored = write([&](QSqlQuery &query, QString &why) {
        if (!run(query, QStringLiteral("UPDATE readings SET upload = ? WHERE host = ? AND time = ?"),
                 {uploadName(upload), host, msOf(time)}, why))
            return false;
        found = query.numRowsAffected() > 0;
        return true;
    });
    return stored && found;
}

void History::select(const QString &columns, const char *timeColumn, qint64 unit, const QString &order,
                     const QString &host, const QDateTime &since, const QDateTime &until,
                     const std::function<void(const QSqlQuery &row)> &take) const {
    if (!isOpen()) return;
    const auto [where, values] = window(host, since, until, timeColumn, unit);
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    query.setForwardOnly(true);
    QString why;
    if (!run(query, QStringLiteral("SELECT ") + columns + where + QStringLiteral(" ORDER BY ") + order, values, why))
        return;
    while (query.next()) take(query);
}

QList<ReadingEntry> History::readings(const QString &host, const QDateTime &since, const QDateTime &until) const {
    QList<ReadingEntry> rows;
    select(QStringLiteral("time, host, identity, model, black_and_white, colour, print_bw, print_colour, copy_bw,"
                          " copy_colour, fax, large, duplex, upload FROM readings"),
           "time", 1, QStringLiteral("time, id"), host, since, until, [&](const QSqlQuery &query) {
               ReadingEntry row;
               row.time = timeOf(query.value(0));
               row.host = query.value(1).toString();
               row.identity = query.value(2).toString();
               row.model = query.value(3).toString();
               row.blackAndWhite = query.value(4).toLongLong();
               row.colour = query.value(5).toLongLong();
               row.printBlackAndWhite = countFrom(query.value(6));
               row.printColour = countFrom(query.value(7));
               row.copyBlackAndWhite = countFrom(query.value(8));
               row.copyColour = countFrom(query.value(9));
               row.fax = countFrom(query.value(10));
               row.large = countFrom(query.value(11));
               row.duplex = countFrom(query.value(12));
               row.upload = uploadNamed(query.value(13).toString());
               rows << row;
           });
    return rows;
}

QList<SupplyEntry> History::supplies(const QString &host, const QDateTime &since, const QDateTime &until) const {
    QList<SupplyEntry> rows;
    select(QStringLiteral("time, host, supply, kind, colour, receptacle, percent, state, description, part_number"
                          " FROM supplies JOIN supply_names ON supply_names.id = supplies.name"),
           "time", Second, QStringLiteral("time, supply"), host, since, until, [&](const QSqlQuery &query) {
               SupplyEntry row;
               row.time = timeOf(query.value(0), Second);
               row.host = query.value(1).toString();
               row.index = query.value(2).toInt();
               row.kind = query.value(3).toString();
               row.colour = query.value(4).toString();
               row.receptacle = query.value(5).toInt() != 0;
               if (!query.value(6).isNull()) row.percent = query.value(6).toInt();
               row.state = stateOf(query.value(7));
               row.description = query.value(8).toString();
               row.partNumber = query.value(9).toString();
               rows << row;
           });
    return rows;
}

QList<ConditionEntry> History::conditions(const QString &host, const QDateTime &since, const QDateTime &until) const {
    QList<ConditionEntry> rows;
    select(QStringLiteral("host, key, kind, text, severity, raised, cleared FROM conditions"), "raised", 1,
           QStringLiteral("raised, id"), host, since, until, [&](const QSqlQuery &query) {
               rows << ConditionEntry{query.value(0).toString(), query.value(1).toString(), query.value(2).toString(),
                                      query.value(3).toString(), query.value(4).toInt(),   timeOf(query.value(5)),
                                      timeOf(query.value(6))};
           });
    return rows;
}

QStringList History::hosts() const {
    QStringList found;
    if (!isOpen()) return found;
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    QString why;
    if (!run(query, QStringLiteral("SELECT DISTINCT host FROM readings ORDER BY host"), {}, why)) return found;
    while (query.next()) found << query.value(0).toString();
    return found;
}

QDateTime History::lastAccepted(const QString &host) const {
    if (!isOpen()) return {};
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    QString why;
    if (!run(query, QStringLiteral("SELECT time FROM readings WHERE host = ? AND upload = ? ORDER BY time DESC LIMIT 1"),
             {host, QString::fromLatin1(UploadNames[int(Upload::Accepted)])}, why) ||
        !query.next())
        return {};
    return timeOf(query.value(0));
}

int History::pruneStep(const QDateTime &now) {
    const qint64 rawBefore = msOf(now) - qint64(RawDays) * Day;
    const qint64 keptBefore = msOf(now.addYears(-KeptYears));
    int removed = 0;
    const auto remove = [&](QSqlQuery &query, const QString &statement, const QVariantList &values, QString &why) {
        if (!run(query, statement, values, why)) return false;
        removed += query.numRowsAffected();
        return true;
    };
    write([&](QSqlQuery &query, QString &why) {
        // Past five years every row goes, a day's worth at a time at most.
        const QString oldest = QStringLiteral("DELETE FROM %1 WHERE id IN (SELECT id FROM %1 WHERE %2 < ? ORDER BY %2"
                                              " LIMIT %3)");
        for (const auto &[table, column] : {std::pair{"readings", "time"}, {"conditions", "raised"}})
            if (!remove(query, oldest.arg(QLatin1String(table), QLatin1String(column)).arg(DayOfRowsAtMost),
                        {keptBefore}, why))
                return false;
        // A supply's levels are as old as the readings they came with: they are looked for only while readings that
        // old were there, supply by supply along the levels' key.
        if (removed > 0 && !remove(query,
                                   QStringLiteral("DELETE FROM supplies WHERE name IN (SELECT id FROM supply_names)"
                                                  " AND time < ?"),
                                   {keptBefore / Second}, why))
            return false;
        // Past 90 days one row a day is kept, the day's last, of each printer, and of each supply where its level
        // changed: one day is thinned per step, from the oldest not thinned yet; days without rows are skipped.
        // A supply's level is stored with a reading: the readings' days are every day there is to thin.
        const QString firstDay = QStringLiteral("SELECT min(time) / %1 * %1 FROM readings WHERE time >= ?").arg(Day);
        qint64 day = 0;
        if (!run(query, QStringLiteral("SELECT value FROM meta WHERE key = 'thinned'"), {}, why)) return false;
        if (query.next()) day = query.value(0).toLongLong();
        if (!run(query, firstDay, {day}, why)) return false;
        if (!query.next() || query.value(0).isNull()) return true;
        day = query.value(0).toLongLong();
        const qint64 end = day + Day;
        if (end > rawBefore) return true;
        return remove(query,
                      QStringLiteral("DELETE FROM readings WHERE time >= ? AND time < ? AND EXISTS (SELECT 1 FROM"
                                     " readings n WHERE n.host = readings.host AND n.time > readings.time AND"
                                     " n.time < ?)"),
                      {day, end, end}, why) &&
               remove(query,
                      QStringLiteral("DELETE FROM supplies WHERE name IN (SELECT id FROM supply_names) AND"
                                     " time >= ? AND time < ? AND EXISTS (SELECT 1 FROM supplies n WHERE"
                                     " n.name = supplies.name AND n.time > supplies.time AND n.time < ?)"),
                      {day / Second, end / Second, end / Second}, why) &&
               // and of a supply, only a level that differs from the one kept before it
               remove(query,
                      QStringLiteral("DELETE FROM supplies WHERE name IN (SELECT id FROM supply_names) AND"
                                     " time >= ? AND time < ? AND EXISTS (SELECT 1 FROM supplies p WHERE"
                                     " p.name = supplies.name AND p.time = (SELECT max(time) FROM supplies q WHERE"
                                     " q.name = supplies.name AND q.time < ?) AND p.percent IS supplies.percent AND"
                                     " p.state IS supplies.state)"),
                      {day / Second, end / Second, day / Second}, why) &&
               run(query, QStringLiteral("INSERT OR REPLACE INTO meta (key, value) VALUES ('thinned', ?)"), {end}, why);
    });
    return removed;
}

} // namespace store
