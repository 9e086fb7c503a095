// What the program remembers of each printer's condition between reads and across restarts: the conditions raised
// and those pending, since when, what the printer answered last, and where its alert table stood. A condition is
// raised when two reads in a row show it and cleared when two in a row do not; a read without an answer changes
// none of them (they are kept, not confirmed since the last answer), and after the operator's hours of silence the
// printer itself is a condition. Kept in condition-state.json in the program folder, written whole and atomically
// (meterlane.ini is renewed by a new version; this file is not).
#pragma once

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

namespace store {

inline const QString ConditionStateFileName = QStringLiteral("condition-state.json");
// The condition of a printer that has not answered for the operator's hours.
inline const QString NotAnsweringKind = QStringLiteral("notAnswering");
// The condition of a printer whose readings the service has not taken for the operator's days.
inline const QString NoReadingKind = QStringLiteral("noReading");

// A condition as a read shows it: severity 1 notice, 2 warning, 3 critical.
struct SeenCondition {
    QString key; // kind, or kind:unit
    QString kind, unit, text;
    int severity = 0;
};

struct TrackedCondition {
    SeenCondition seen;
    QDateTime since;          // first shown
    bool raised = false;
    int streak = 0;           // reads in a row that showed it (pending) or, raised, that did not
};

struct PrinterCondition {
    int deviceIndex = 0; // 0: not found yet
    std::optional<quint32> upTime;
    int allEvents = -1, criticalEvents = -1;
    bool alertsActive = false; // a raised or pending condition came from the alert table
    QDateTime lastAnswer, silentSince;
    int deviceStatus = 0, printerStatus = 0;
    QString model;   // hrDeviceDescr, for the notices
    QString address; // as last read, for the alerts
    QDateTime watchedSince; // first seen by a read: the start of its wait for a reading while none was taken
    QStringList panel;
    QMap<QString, TrackedCondition> conditions; // by key
    QStringList supplyKeys; // the conditions the last read of the supplies gave, which a poll does not read

    QList<TrackedCondition> raised() const; // worst first, then oldest
};

// A condition raised or cleared by a read, for the notices.
struct ConditionChange {
    QString host;
    SeenCondition condition;
    QDateTime since;
    bool raised = true;
};

// A condition's time as the window and the command line show it: local, to the minute ("2026-12-09 14:05").
QString shownTime(const QDateTime &time);

// The printers of the file's bytes; what is not of the form written is left out (a file of another form: none).
QMap<QString, PrinterCondition> parseConditionStates(const QByteArray &bytes);
QByteArray conditionStatesJson(const QMap<QString, PrinterCondition> &printers);

class ConditionStates {
public:
    // Loads the folder's file; a missing or unreadable file starts empty (unreadable: said on the log).
    explicit ConditionStates(const QString &folder);

    PrinterCondition &printer(const QString &host) { return printers_[host]; }
    const QMap<QString, PrinterCondition> &printers() const { return printers_; }
    // Forgets the printers not among hosts (no longer monitored).
    void keepOnly(const QStringList &hosts);

    // One read's outcome for host at now: the conditions shown, or nothing when the printer did not answer. A
    // printer silent for silentHours or more is the condition notAnswering (warning); an answer clears it at once.
    // unread: the keys of conditions the read did not look at (those of the supplies, at a poll), kept as they are.
    QList<ConditionChange> observe(const QString &host, const std::optional<QList<SeenCondition>> &shown,
                                   const QDateTime &now, int silentHours, const QStringList &unread = {});

    // Whether the service has taken a reading of host within days before now: the newest it took at lastTaken
    // (invalid: none), else since the printer was first watched. Silent that long, it is the condition noReading
    // (warning), raised and cleared at once; days 0 never raises it.
    QList<ConditionChange> observeReadings(const QString &host, const QDateTime &lastTaken, const QDateTime &now,
                                           int days);

    // Writes the file when something changed since it was read or written; false with the error logged.
    bool save();

private:
    QString path_;
    QMap<QString, PrinterCondition> printers_;
    QByteArray written_; // the file's bytes as last read or written
};

} // namespace store
