// What the development service keeps: every counter reading and printer announcement it accepted, and each
// customer's printer list, in one SQLite file created on demand. Every write is its own committed transaction, so
// whatever was answered with 200 survives a crash or a restart.
#pragma once

#include <functional>

#include <QList>
#include <QSqlDatabase>
#include <QString>

#include <array>
#include <optional>

class QSqlQuery;

namespace devserver {

// Counter slots 2 to 26, as the program counts them.
constexpr int CounterCount = 25;

struct Reading {
    QString vendor;
    QString address;
    QString model;
    QString identity;
    // Model and identity came as one text holding more than one ";": split at its first.
    bool ambiguousSplit = false;
    std::array<qint64, CounterCount> counters{}; // slot 2 at index 0
    std::array<QString, 4> toner;
    QString vendorField; // the record's last field
    QString received;    // UTC, ISO 8601 with milliseconds
    QString query;       // the request's query as it arrived
};

struct Announcement {
    QString vendor;
    QString identity;
    QString location;
    QString received;
};

struct ListedPrinter {
    QString host;
    QString description;
};

class ServiceStore {
public:
    ServiceStore();
    ~ServiceStore();
    ServiceStore(const ServiceStore &) = delete;
    ServiceStore &operator=(const ServiceStore &) = delete;

    // Opens (creating when needed) the file and its tables; false with a reason when it cannot.
    bool open(const QString &file, QString *error);

    bool addReading(const Reading &reading, QString *error);
    bool addAnnouncement(const Announcement &announcement, QString *error);
    // Replaces the customer's list (an empty list removes the customer).
    bool setCustomer(const QString &code, const QList<ListedPrinter> &printers, QString *error);

    QList<ListedPrinter> customerPrinters(const QString &code) const;
    // The customer codes whose leading whole number equals number (how the portal token names a customer).
    QStringList customersByNumber(qint64 number) const;
    // The newest reading of a printer address sent under a vendor identifier.
    std::optional<Reading> latestReading(const QString &vendor, const QString &address) const;
    // The newest reading of every address of a vendor, by address.
    QList<Reading> latestReadings(const QString &vendor) const;
    QList<Reading> allReadings() const;
    QList<Announcement> announcements() const;

private:
    bool exec(const QString &statement, QString *error);
    bool addMissingColumn(const QString &table, const QString &definition, QString *error);
    bool writeInTransaction(QString *error, const std::function<bool(QSqlQuery &)> &write);
    QString connection_;
};

// "HOST§DESC|HOST§DESC|..." (the list reply's own format; a trailing "|" optional), or with "," between records
// as on the command line when separator is ','.
QList<ListedPrinter> parsePrinterList(const QString &text, QChar separator = QLatin1Char('|'));

} // namespace devserver
