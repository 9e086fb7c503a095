#include "servicestore.h"

#include <QAtomicInteger>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace devserver {
namespace {

QAtomicInteger<int> connectionCounter;

QString counterColumn(int index) { return QStringLiteral("c%1").arg(index + 2); }

QString readingColumns() {
    QStringList columns = {QStringLiteral("vendor"), QStringLiteral("address"), QStringLiteral("model"),
                           QStringLiteral("identity")};
    for (int i = 0; i < CounterCount; ++i) columns << counterColumn(i);
    columns << QStringLiteral("toner1") << QStringLiteral("toner2") << QStringLiteral("toner3")
            << QStringLiteral("toner4") << QStringLiteral("vendor_field") << QStringLiteral("received")
            << QStringLiteral("query") << QStringLiteral("ambiguous_split");
    return columns.join(QLatin1Char(','));
}

Reading readingFrom(const QSqlQuery &query) {
    Reading r;
    int c = 0;
    r.vendor = query.value(c++).toString();
    r.address = query.value(c++).toString();
    r.model = query.value(c++).toString();
    r.identity = query.value(c++).toString();
    for (qint64 &counter : r.counters) counter = query.value(c++).toLongLong();
    for (QString &level : r.toner) level = query.value(c++).toString();
    r.vendorField = query.value(c++).toString();
    r.received = query.value(c++).toString();
    r.query = query.value(c++).toString();
    r.ambiguousSplit = query.value(c++).toBool();
    return r;
}

void setError(QString *error, const QString &text) {
    if (error) *error = text;
}

} // namespace

ServiceStore::ServiceStore()
    : connection_(QStringLiteral("yonderlook-%1").arg(connectionCounter.fetchAndAddRelaxed(1))) {}

ServiceStore::~ServiceStore() {
    {
        QSqlDatabase db = QSqlDatabase::database(connection_, false);
        if (db.isValid()) db.close();
    }
    if (QSqlDatabase::contains(connection_)) QSqlDatabase::removeDatabase(connection_);
}

bool ServiceStore::exec(const QString &statement, QString *error) {
    QSqlQuery query(QSqlDatabase::database(connection_));
    if (query.exec(statement)) return true;
    setError(error, query.lastError().text());
    return false;
}

bool ServiceStore::open(const QString &file, QString *error) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
    db.setDatabaseName(file);
    if (!db.open()) {
        setError(error, db.lastError().text());
        return false;
    }
    QString counters;
    for (int i = 0; i < CounterCount; ++i) counters += counterColumn(i) + QStringLiteral(" INTEGER NOT NULL,");
    return exec(QStringLiteral("PRAGMA journal_mode=WAL"), error) &&
           exec(QStringLiteral("PRAGMA synchronous=FULL"), error) &&
           exec(QStringLiteral("CREATE TABLE IF NOT EXISTS readings (id INTEGER PRIMARY KEY AUTOINCREMENT,"
                               "vendor TEXT NOT NULL, address TEXT NOT NULL, model TEXT NOT NULL,"
                               "identity TEXT NOT NULL,") +
                    counters +
                    QStringLiteral("toner1 TEXT NOT NULL, toner2 TEXT NOT NULL, toner3 TEXT NOT NULL,"
                                   "toner4 TEXT NOT NULL, vendor_field TEXT NOT NULL, received TEXT NOT NULL,"
                                   "query TEXT NOT NULL)"),
                error) &&
           addMissingColumn(QStringLiteral("readings"), QStringLiteral("ambiguous_split INTEGER NOT NULL DEFAULT 0"),
                            error) &&
           exec(QStringLiteral("CREATE INDEX IF NOT EXISTS readings_by_printer ON readings(vendor, address, id)"),
                error) &&
           exec(QStringLiteral("CREATE TABLE IF NOT EXISTS announcements (id INTEGER PRIMARY KEY AUTOINCREMENT,"
                               "vendor TEXT NOT NULL, identity TEXT NOT NULL, location TEXT NOT NULL,"
                               "received TEXT NOT NULL)"),
                error) &&
           exec(QStringLiteral("CREATE TABLE IF NOT EXISTS customer_printers (code TEXT NOT NULL,"
                               "position INTEGER NOT NULL, host TEXT NOT NULL, description TEXT NOT NULL,"
                               "PRIMARY KEY (code, position))"),
                error);
}

// A column added after the table's first release: added to new files and to older ones alike, with its default
// for the rows they hold.
bool ServiceStore::addMissingColumn(const QString &table, const QString &definition, QString *error) {
    QSqlQuery probe(QSqlDatabase::database(connection_));
    const QString column = definition.section(QLatin1Char(' '), 0, 0);
    if (probe.exec(QStringLiteral("SELECT %1 FROM %2 LIMIT 0").arg(column, table))) return true;
    return exec(QStringLiteral("ALTER TABLE %1 ADD COLUMN %2").arg(table, definition), error);
}

// Runs the statements of one write in a transaction of its own: committed when write succeeds, rolled back and
// reported otherwise, so nothing is answered as stored that is not.
bool ServiceStore::writeInTransaction(QString *error, const std::function<bool(QSqlQuery &)> &write) {
    QSqlDatabase db = QSqlDatabase::database(connection_);
    if (!db.transaction()) {
        setError(error, db.lastError().text());
        return false;
    }
    QSqlQuery query(db);
    if (!write(query) || !db.commit()) {
        setError(error, query.lastError().isValid() ? query.lastError().text() : db.lastError().text());
        db.rollback();
        return false;
    }
    return true;
}

bool ServiceStore::addReading(const Reading &r, QString *error) {
    return writeInTransaction(error, [&](QSqlQuery &query) {
        const int columns = 4 + CounterCount + 4 + 4;
        QStringList marks;
        for (int i = 0; i < columns; ++i) marks << QStringLiteral("?");
        query.prepare(QStringLiteral("INSERT INTO readings (%1) VALUES (%2)").arg(readingColumns(), marks.join(',')));
        query.addBindValue(r.vendor);
        query.addBindValue(r.address);
        query.addBindValue(r.model);
        query.addBindValue(r.identity);
        for (qint64 counter : r.counters) query.addBindValue(counter);
        for (const QString &level : r.toner) query.addBindValue(level);
        query.addBindValue(r.vendorField);
        query.addBindValue(r.received);
        query.addBindValue(r.query);
        query.addBindValue(r.ambiguousSplit);
        return query.exec();
    });
}

bool ServiceStore::addAnnouncement(const Announcement &a, QString *error) {
    return writeInTransaction(error, [&](QSqlQuery &query) {
        query.prepare(QStringLiteral("INSERT INTO announcements (vendor, identity, location, received) VALUES (?,?,?,?)"));
        query.addBindValue(a.vendor);
        query.addBindValue(a.identity);
        query.addBindValue(a.location);
        query.addBindValue(a.received);
        return query.exec();
    });
}

bool ServiceStore::setCustomer(const QString &code, const QList<ListedPrinter> &printers, QString *error) {
    return writeInTransaction(error, [&](QSqlQuery &query) {
        query.prepare(QStringLiteral("DELETE FROM customer_printers WHERE code = ?"));
        query.addBindValue(code);
        bool ok = query.exec();
        for (int i = 0; ok && i < printers.size(); ++i) {
            query.prepare(
                QStringLiteral("INSERT INTO customer_printers (code, position, host, description) VALUES (?,?,?,?)"));
            query.addBindValue(code);
            query.addBindValue(i);
            query.addBindValue(printers[i].host);
            query.addBindValue(printers[i].description);
            ok = query.exec();
        }
        return ok;
    });
}

QList<ListedPrinter> ServiceStore::customerPrinters(const QString &code) const {
    QSqlQuery query(QSqlDatabase::database(connection_));
    query.prepare(QStringLiteral("SELECT host, description FROM customer_printers WHERE code = ? ORDER BY position"));
    query.addBindValue(code);
    QList<ListedPrinter> printers;
    if (query.exec())
        while (query.next()) printers.append({query.value(0).toString(), query.value(1).toString()});
    return printers;
}

QStringList ServiceStore::customersByNumber(qint64 number) const {
    QSqlQuery query(QSqlDatabase::database(connection_));
    QStringList codes;
    if (!query.exec(QStringLiteral("SELECT DISTINCT code FROM customer_printers ORDER BY code"))) return codes;
    while (query.next()) {
        const QString code = query.value(0).toString();
        const QString trimmed = code.trimmed();
        int end = 0;
        if (end < trimmed.size() && (trimmed[end] == u'-' || trimmed[end] == u'+')) ++end;
        while (end < trimmed.size() && trimmed[end].isDigit() && trimmed[end].unicode() < 128) ++end;
        bool ok = false;
        const qint64 value = trimmed.left(end).toLongLong(&ok);
        if ((ok && value == number) || (!ok && number == 0)) codes << code;
    }
    return codes;
}

std::optional<Reading> ServiceStore::latestReading(const QString &vendor, const QString &address) const {
    QSqlQuery query(QSqlDatabase::database(connection_));
    query.prepare(QStringLiteral("SELECT %1 FROM readings WHERE vendor = ? AND address = ? ORDER BY id DESC LIMIT 1")
                      .arg(readingColumns()));
    query.addBindValue(vendor);
    query.addBindValue(address);
    if (query.exec() && query.next()) return readingFrom(query);
    return std::nullopt;
}

QList<Reading> ServiceStore::latestReadings(const QString &vendor) const {
    QSqlQuery query(QSqlDatabase::database(connection_));
    query.prepare(QStringLiteral("SELECT %1 FROM readings WHERE id IN (SELECT MAX(id) FROM readings WHERE vendor = ? "
                                 "GROUP BY address) ORDER BY address")
                      .arg(readingColumns()));
    query.addBindValue(vendor);
    QList<Reading> readings;
    if (query.exec())
        while (query.next()) readings.append(readingFrom(query));
    return readings;
}

QList<Reading> ServiceStore::allReadings() const {
    QSqlQuery query(QSqlDatabase::database(connection_));
    QList<Reading> readings;
    if (query.exec(QStringLiteral("SELECT %1 FROM readings ORDER BY id").arg(readingColumns())))
        while (query.next()) readings.append(readingFrom(query));
    return readings;
}

QList<Announcement> ServiceStore::announcements() const {
    QSqlQuery query(QSqlDatabase::database(connection_));
    QList<Announcement> list;
    if (query.exec(QStringLiteral("SELECT vendor, identity, location, received FROM announcements ORDER BY id")))
        while (query.next())
            list.append({query.value(0).toString(), query.value(1).toString(), query.value(2).toString(),
                         query.value(3).toString()});
    return list;
}

QList<ListedPrinter> parsePrinterList(const QString &text, QChar separator) {
    QList<ListedPrinter> printers;
    for (const QString &record : text.split(separator)) {
        if (record.isEmpty()) continue;
        const qsizetype mark = record.indexOf(QChar(0x00A7));
        if (mark < 0)
            printers.append({record, QString()});
        else
            printers.append({record.left(mark), record.mid(mark + 1)});
    }
    return printers;
}

} // namespace devserver
