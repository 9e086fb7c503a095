// The site's reading history, history.sqlite in the program folder (SQLite through Qt Sql, write-ahead log): every
// reading with its totals and how its upload went, every supply level that changed (and one a day), and every
// condition raised and cleared. The file is ours alone: meterlane.ini's renewal never touches it. It stays bounded:
// rows are kept whole for 90 days, then one per printer and day, the day's last (of a supply, where its level
// changed), for five years; pruning goes in small steps at each write. A store that cannot be written is said once (log, standard error and the
// window's status line) and never stops a reading or an upload; a file that is not a database is set aside and a new
// one started. Readers (the command line, the window's views) open it on their own connection while a cycle writes.
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <QStringList>

#include <functional>
#include <optional>

class QSqlDatabase;
class QSqlQuery;

namespace store {

inline const QString HistoryFileName = QStringLiteral("history.sqlite");

// How a reading's upload went: handed over, not answered yet; taken by the service; waiting in the outbox; dropped.
enum class Upload { Pending, Accepted, Waiting, Failed };
QString uploadName(Upload upload); // "pending", "accepted", "waiting", "failed"

struct ReadingEntry {
    QDateTime time; // UTC
    QString host, identity, model;
    qint64 blackAndWhite = 0, colour = 0;
    // Mapped slots where the printer's key point fills them (-1: not read): printer and copier black-and-white and
    // colour, fax, large paper, duplex.
    qint64 printBlackAndWhite = -1, printColour = -1, copyBlackAndWhite = -1, copyColour = -1, fax = -1, large = -1,
           duplex = -1;
    Upload upload = Upload::Pending;
};

struct SupplyEntry {
    QDateTime time; // UTC
    QString host;
    int index = 0; // the supply's index in the printer's table
    QString kind, colour, description, partNumber;
    bool receptacle = false;
    std::optional<int> percent; // left of a consumed supply, fill of a receptacle
    QString state;              // as the supplies read names it: ok, low, empty, full, ...
};

struct ConditionEntry {
    QString host, key, kind, text;
    int severity = 0;
    QDateTime raised, cleared; // UTC; cleared invalid while it holds
};

// What one reading of a cycle stores, in one transaction.
struct ReadingRecord {
    ReadingEntry reading;
    QList<SupplyEntry> supplies;       // as read now; only those that changed (or the day's first) are stored
    QList<ConditionEntry> raised;      // conditions the reading's read raised
    QList<ConditionEntry> cleared;     // and cleared (their key and time)
};

class History {
public:
    // Opens the folder's store for writing: made when missing, brought to the current schema, set aside and made
    // anew when it is not a database of ours. readOnly: for readers, which never make, change or set aside a file.
    explicit History(const QString &folder, bool readOnly = false);
    ~History();
    History(const History &) = delete;
    History &operator=(const History &) = delete;

    // Whether the store could be opened; why the last thing tried failed (opening, or a write), empty while all went
    // well.
    bool isOpen() const;
    QString failure() const;
    QString path() const { return path_; }

    // Stores one reading (with its supplies and conditions) in one transaction, then prunes a small step. The row's
    // id, 0 when it could not be stored.
    qint64 record(const ReadingRecord &record);
    // Stores many readings, each as record stores it, in one transaction and without pruning: for seeding a store
    // with years of a site at once (the benchmark). False, with nothing stored, when one could not be stored.
    bool recordAll(const QList<ReadingRecord> &records);
    // The conditions a poll raised and cleared.
    bool recordConditions(const QList<ConditionEntry> &raised, const QList<ConditionEntry> &cleared);
    // How the upload of the host's reading handed over at time went.
    bool setUpload(const QString &host, const QDateTime &time, Upload upload);

    // A printer's rows from since to until (either invalid: open), in time order; every printer's where host is empty.
    QList<ReadingEntry> readings(const QString &host, const QDateTime &since = {}, const QDateTime &until = {}) const;
    QList<SupplyEntry> supplies(const QString &host, const QDateTime &since = {}, const QDateTime &until = {}) const;
    QList<ConditionEntry> conditions(const QString &host, const QDateTime &since = {}, const QDateTime &until = {}) const;
    // The hosts of the stored readings, in name order.
    QStringList hosts() const;
    // The time of the host's newest reading the service took; invalid where none is stored.
    QDateTime lastAccepted(const QString &host) const;

    // One step of pruning at now, which record takes after each reading: the oldest day past 90 days not thinned
    // yet is thinned, and rows past five years are dropped, a day's worth at most. The number of rows removed.
    int pruneStep(const QDateTime &now);

    // Where a file that was no reading history went when this object set it aside; empty otherwise.
    QString setAsideAs() const { return setAsideAs_; }

private:
    bool open();
    bool create(QSqlDatabase &database);
    bool fail(const QString &why);
    // Hands each row of "SELECT columns" (a FROM clause included) of host from since to until by timeColumn (in
    // milliseconds over unit), in order, to take.
    void select(const QString &columns, const char *timeColumn, qint64 unit, const QString &order, const QString &host,
                const QDateTime &since, const QDateTime &until,
                const std::function<void(const QSqlQuery &row)> &take) const;
    // Runs work in one transaction; false, with failure set, when it or the commit failed (nothing is kept then).
    bool write(const std::function<bool(QSqlQuery &query, QString &why)> &work);

    QString path_, connection_, failure_, setAsideAs_;
    bool readOnly_;
    bool opened_ = false;
};

constexpr int RawDays = 90;     // rows kept whole
constexpr int KeptYears = 5;    // one row a day kept after that

} // namespace store
