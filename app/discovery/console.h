// The SNMP console of the main window, without the window. A run ("Go!") lists the addresses of one range, pings
// them all with ClassPingBase, then, for every address that answered, opens a new SnmpV1 session for each OID of the
// list and performs the run's operation (Get, GetNext, Set or Walk) on it. Every result becomes a line of the result
// list; at the end all lines are appended to zovdata.txt in the program folder (UTF-8, CR LF). "ABORT!" stops a run
// at the end of the address in hand. Which Set and Walk controls are offered for an operation is the window's
// business; the console only reads them.
//
// Change marker: the console remembers whether each address of the previous run answered. When an address of the
// new run was also in the previous run and its answering state is not the same, its row gets icon 3 instead of
// 1 or 2. Addresses new to the run are never marked.
//
// Host numbers: the fourth parts of the two addresses must be whole numbers (blanks around them allowed) within
// -32768 to 32767, else the run ends with the fault "Type mismatch" or "Overflow". They are not checked against
// 0 to 255: an address that is not a valid dotted IPv4 address is simply reported silent, never sent anything.
//
// Set with "Integer": the value is numeric when, blanks and tabs aside, it reads as a decimal number: an optional
// sign, digits with an optional fraction, an optional exponent ("12", " -3 ", "2.5", "1e3"). It is rounded to the
// nearest whole number, halves to the even neighbour (2.5 gives 2); one beyond 32 bits ends the run with the
// fault "Overflow". Any other value lists "does not appear to be an integer" and sends nothing.
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace discovery {

enum class ConsoleOperation { Get = 0, GetNext = 1, Set = 2, Walk = 3 };

// The ping phase of a run: requests in flight (NumParalellActions), the time-out of each, and the limit of the whole
// phase per address pinged.
constexpr int ConsolePingWidth = 100;
constexpr int ConsolePingTimeOutMs = 100;
constexpr int ConsolePingMsPerAddress = 50;
// The time text of an address that did not answer.
inline const QString SilentTime = QStringLiteral("---");

// What the console's controls hold when "Go!" is clicked.
struct ConsoleRequest {
    QString firstAddress; // txtAgent: its first three parts begin every address, its fourth is the first host number
    QString lastAddress;  // txtAgentTo: only its fourth part is used, the last host number
    QString oids;         // txtOID: OIDs separated by ";"
    QString setValue;     // txtSetVal
    ConsoleOperation operation = ConsoleOperation::Get; // optOps
    bool setInteger = false;                           // chkSetInteger
    bool fullWalk = false;                             // chkFullWalk
};

// The console's controls, implemented by the main window, by meterlane-cli and by tests.
class ConsoleView {
public:
    virtual ~ConsoleView() = default;

    // true: cmdGo disabled, cmdCancelScan ("ABORT!") shown, Timer1 held off; false: all three as before the run.
    virtual void setRunning(bool running) = 0;

    // LV_IPs: all rows removed; one row added at the end, its text the address.
    virtual void clearAddresses() = 0;
    virtual void addAddress(const QString &address) = 0;
    // The ping outcome of a row (0-based, in the order added): the round-trip time in ms when it answered, else
    // SilentTime; icon 1 answered, 2 silent, 3 the change marker (the time text still tells which). A row that
    // answered, marked or not, is scrolled into view.
    virtual void showPingResult(int row, const QString &timeText, int icon) = 0;

    // txtIP: the address in hand. answering: the address becomes its text, the background &H80FF80 (light green);
    // a silent address passed over comes with an empty address: the text stays, the background turns &H8080FF
    // (light red). Repainted at once.
    virtual void showCurrentAddress(const QString &address, bool answering) = 0;

    // lstResults.
    virtual void clearResults() = 0;
    virtual void addResult(const QString &line) = 0;
    virtual QStringList results() const = 0;

    // The message box (OK button) of a completed run.
    virtual void showCompletion(const QString &message) = 0;

    // A failure that has no place among the result lines: why the addresses could not be pinged, or that the
    // results file cannot be written. The window shows it in its status line (Label3).
    virtual void showFailure(const QString &text) = 0;
};

class Console {
public:
    explicit Console(ConsoleView &view) : view_(view) {}

    // One run of "Go!". True when it completed and showed its completion message. False when a run was already
    // going (nothing done), when a fault ended it (then the lines of the result list and the fault's description
    // were appended to the results file, the controls restored, and no message shown; see faultDescription), or
    // when the results file could not be written ("Cannot write " + its path, through showFailure).
    bool run(const ConsoleRequest &request);

    // "ABORT!": the run stops at the end of the address in hand; asked during the ping phase, after the first
    // address of the SNMP phase.
    void abort() { abortRequested_ = true; }

    bool running() const { return running_; }
    // A ping phase has ended in this session.
    bool scanned() const { return scanned_; }
    // The fault that ended the last run; empty when none did.
    QString faultDescription() const { return fault_; }

    // The program folder + "/zovdata.txt".
    static QString resultsFile();

private:
    struct Row {
        QString address;
        bool answered = false;
    };

    void pingPhase();
    void report(int row, bool answered, const QString &timeText);
    void snmpPhase(const ConsoleRequest &request);
    void workOn(const QString &address, const QStringList &oids, const ConsoleRequest &request);
    bool writeResults();

    ConsoleView &view_;
    bool running_ = false;
    bool abortRequested_ = false;
    bool scanned_ = false;
    QString fault_;
    std::vector<Row> rows_;             // LV_IPs as the run knows it
    QHash<QString, bool> previousScan_; // address → it answered, in the previous run
};

// The Set value of a run with "Integer" checked, by the rule above; nothing when it is not numeric. Raises
// platform::Fault 6 "Overflow" when it is numeric but does not fit 32 bits.
std::optional<qint32> integerSetValue(const QString &text);

} // namespace discovery
