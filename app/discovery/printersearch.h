// The search for a site's printers. Every address of the ranges is asked for sysDescr and sysObjectID at once through
// the library's batch probe, with each credential profile that applies to it, one try each, no ping first (printers
// behind a firewall often drop it); a silent address so costs one time-out in all. Each host that answered is then
// read for its maker, model and identity as a reading reads them, and marked monitored (its address or its identity
// is among the records), new, or not a printer. Adding puts the new printers into free slots and announces each as
// the printer dialog does. The search never blocks for long: its owner drives it in steps, so that a window's loop
// keeps running and closing the window can stop it between two steps.
#pragma once

#include "platform/componentfactory.h"
#include "store/snmpprofiles.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QNetworkInterface>
#include <QSet>
#include <QString>
#include <QStringList>

namespace discovery {

// The most addresses one search asks, its ranges together: a /16's worth.
constexpr quint32 MostSearchAddresses = 65536;

// The addresses of the ranges ("a.b.c.d", "a.b.c.d-e", "a.b.c.d-a.b.c.e", "a.b.c.d/n"), in address order without
// repeats; a CIDR block's network and broadcast addresses are left out. False with why when an item is no range or
// the ranges hold more than MostSearchAddresses addresses, counted as they would be asked.
bool searchAddresses(const QStringList &ranges, QList<quint32> &addresses, QString &why);

// The machine's own IPv4 subnets, loopback's included.
QList<store::AddressBlock> ownSubnets();

// The ranges that hold addresses outside the subnets, as they were written.
QStringList rangesOutside(const QStringList &ranges, const QList<store::AddressBlock> &subnets);

// One network interface as QNetworkInterface reports it.
struct InterfaceAddresses {
    QNetworkInterface::InterfaceFlags flags;
    QList<QNetworkAddressEntry> entries;
};

// What the desktop dialog offers as the range: the IPv4 subnets of the interfaces that are up and running and
// neither loopback nor point-to-point, each wider than a /16 narrowed to the /24 around the interface's address, in
// CIDR form, never a link-local address's 169.254.0.0/16. A down bridge or a self-assigned address would each add
// 65,534 addresses where no printer answers.
QStringList offeredRanges(const QList<InterfaceAddresses> &interfaces);

// The offered ranges of this machine's interfaces.
QStringList ownSubnetRanges();

QString dottedAddress(quint32 address);

enum class HostState { Monitored, New, NotAPrinter };
QString stateText(HostState state); // "monitored", "new", "not a printer"

struct FoundHost {
    QString address;
    QString maker; // the brand's name, else the maker the counter maps recognise; empty when neither
    QString model, identity;
    HostState state = HostState::NotAPrinter;
};

class PrinterSearch {
public:
    struct Progress {
        int total = 0;    // addresses to ask
        int asked = 0;    // addresses settled: answered, or silent after their time-out
        int answered = 0; // hosts that answered
        int printers = 0; // printers among the hosts read so far
    };

    // Asks every address (each with the profiles that apply to it); false with why when the library cannot be
    // created or refuses the request.
    bool start(const QList<quint32> &addresses, QString &why);

    // One step of at most about waitMs (a printer's reading may take longer): the answers come meanwhile, then the
    // hosts that answered, read one by one. False once the search is over.
    bool advance(int waitMs);

    bool finished() const { return finished_; }
    const Progress &progress() const { return progress_; }
    // The hosts read so far, in address order.
    QList<FoundHost> hosts() const;

private:
    struct Answers {
        int outstanding = 0;
        bool answered = false;
        QMap<int, QHash<QString, QString>> values; // by profile (its place in the file): OID → value
    };

    bool takeAnswers(int waitMs);
    void take(const QString &address, const QString &oid, int profile, const QString &text);
    FoundHost identify(quint32 address, const Answers &answers) const;

    platform::ComponentObject probe_;
    QHash<quint32, Answers> answers_;
    QList<quint32> toIdentify_; // answered hosts not read yet
    QHash<quint32, FoundHost> found_;
    QSet<QString> monitoredAddresses_, monitoredIdentities_;
    Progress progress_;
    bool finished_ = false;
};

struct AddResult {
    QList<FoundHost> added;   // with the slot numbers below, in the same order
    QList<int> slotNumbers;
    QList<FoundHost> leftOut; // new printers for which no slot was free
};

// Puts every new printer of hosts into the first free slots (address as found, the model as its description) and
// announces each to the service as the printer dialog does. Slots in use are never changed.
AddResult addNewPrinters(const QList<FoundHost> &hosts);

} // namespace discovery
