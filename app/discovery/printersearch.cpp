#include "printersearch.h"

#include "platform/hostresolution.h"
#include "printerdialog.h"
#include "reading/brand.h"
#include "reading/countermaps.h"
#include "reading/oidreader.h"
#include "reading/printerinfo.h"
#include "reading/printermib.h"
#include "reading/profilechoice.h"
#include "store/globals.h"
#include "store/pips.h"

#include <QElapsedTimer>

#include <algorithm>
#include <numeric>

namespace discovery {
namespace {

namespace printermib = reading::printermib;

const QString PrinterMib = QStringLiteral("1.3.6.1.2.1.43");

// Whether a CIDR item names a block with network and broadcast addresses (a /30 or wider).
bool hasNetworkAndBroadcast(const QString &item) {
    const qsizetype slash = item.indexOf(u'/');
    return slash >= 0 && item.mid(slash + 1).toUInt() <= 30;
}

store::AddressBlock blockOf(quint32 address, int prefixLength) {
    const quint32 mask = prefixLength == 0 ? 0 : ~quint32(0) << (32 - prefixLength);
    return {address & mask, (address & mask) | ~mask};
}

// The blocks in address order, those that overlap or touch joined into one.
QList<store::AddressBlock> mergedBlocks(QList<store::AddressBlock> blocks) {
    std::sort(blocks.begin(), blocks.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    QList<store::AddressBlock> merged;
    for (const store::AddressBlock &block : blocks) {
        if (!merged.isEmpty() && block.first <= quint64(merged.last().last) + 1)
            merged.last().last = std::max(merged.last().last, block.last);
        else
            merged.append(block);
    }
    return merged;
}

QString cidr(const store::AddressBlock &block) {
    int prefix = 32;
    while (prefix > 0 && (block.last - block.first + 1) > (quint64(1) << (32 - prefix))) --prefix;
    return dottedAddress(block.first) + u'/' + QString::number(prefix);
}

// The profiles a search asks with: those of the credentials file, else version 1 with "public".
QList<store::SnmpProfile> searchProfiles() {
    const store::SnmpProfiles profiles = store::snmpProfiles();
    return profiles.present ? profiles.profiles : QList<store::SnmpProfile>{store::SnmpProfile{}};
}

// A name the counter maps know for the maker, when its brand is not one of the reading rules' own.
QString brandName(short brand) {
    static const QString names[] = {QStringLiteral("RICOH"), QStringLiteral("OKI"), QStringLiteral("HP"),
                                    QStringLiteral("BROTHER"), QStringLiteral("KYOCERA")};
    return brand >= reading::Ricoh && brand <= reading::Kyocera ? names[brand] : QString();
}

bool hasPrinterMib(const QString &address) {
    QString next;
    reading::probeNextOid(address, PrinterMib, next);
    return next.startsWith(PrinterMib + u'.');
}

bool isValue(const QString &text) { return !text.startsWith(QLatin1String("[Vantobe.")); }

} // namespace

QString dottedAddress(quint32 address) {
    return QStringLiteral("%1.%2.%3.%4")
        .arg(address >> 24)
        .arg((address >> 16) & 0xFF)
        .arg((address >> 8) & 0xFF)
        .arg(address & 0xFF);
}

bool searchAddresses(const QStringList &ranges, QList<quint32> &addresses, QString &why) {
    QList<store::AddressBlock> blocks;
    for (const QString &item : ranges) {
        const auto block = store::parseAddressBlock(item.trimmed());
        if (!block) {
            why = QStringLiteral("not an address range: %1").arg(item);
            return false;
        }
        const bool inner = hasNetworkAndBroadcast(item);
        blocks.append({block->first + inner, block->last - inner});
    }
    // Counted before a single address is listed: sixteen /16s would otherwise take a million entries first.
    const QList<store::AddressBlock> merged = mergedBlocks(blocks);
    const quint64 count = std::accumulate(merged.begin(), merged.end(), quint64(0), [](quint64 sum, const auto &block) {
        return sum + block.last - block.first + 1;
    });
    if (count > MostSearchAddresses) {
        why = QStringLiteral("the ranges hold %1 addresses (an address in several ranges counted once, CIDR blocks "
                             "without their network and broadcast addresses), more than the %2 one search asks")
                  .arg(count)
                  .arg(MostSearchAddresses);
        return false;
    }
    addresses.clear();
    for (const store::AddressBlock &block : merged)
        for (quint64 address = block.first; address <= block.last; ++address) addresses.append(quint32(address));
    return true;
}

QList<store::AddressBlock> ownSubnets() {
    QList<store::AddressBlock> subnets;
    for (const QNetworkInterface &interface : QNetworkInterface::allInterfaces())
        for (const QNetworkAddressEntry &entry : interface.addressEntries())
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol && entry.prefixLength() >= 0)
                subnets.append(blockOf(entry.ip().toIPv4Address(), entry.prefixLength()));
    return subnets;
}

QStringList rangesOutside(const QStringList &ranges, const QList<store::AddressBlock> &subnets) {
    QStringList outside;
    for (const QString &item : ranges) {
        const auto block = store::parseAddressBlock(item.trimmed());
        const bool inside = block && std::any_of(subnets.begin(), subnets.end(), [&](const store::AddressBlock &net) {
                                return net.contains(block->first) && net.contains(block->last);
                            });
        if (!inside) outside.append(item);
    }
    return outside;
}

QStringList offeredRanges(const QList<InterfaceAddresses> &interfaces) {
    QStringList ranges;
    for (const InterfaceAddresses &interface : interfaces) {
        if (!interface.flags.testFlags(QNetworkInterface::IsUp | QNetworkInterface::IsRunning) ||
            interface.flags.testAnyFlags(QNetworkInterface::IsLoopBack | QNetworkInterface::IsPointToPoint))
            continue;
        for (const QNetworkAddressEntry &entry : interface.entries) {
            if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol || entry.prefixLength() < 0 ||
                entry.ip().isLinkLocal())
                continue;
            const int prefix = entry.prefixLength() < 16 ? 24 : entry.prefixLength();
            const QString range = cidr(blockOf(entry.ip().toIPv4Address(), prefix));
            if (!ranges.contains(range)) ranges.append(range);
        }
    }
    return ranges;
}

QStringList ownSubnetRanges() {
    QList<InterfaceAddresses> interfaces;
    for (const QNetworkInterface &interface : QNetworkInterface::allInterfaces())
        interfaces.append({interface.flags(), interface.addressEntries()});
    return offeredRanges(interfaces);
}

QString stateText(HostState state) {
    switch (state) {
    case HostState::Monitored: return QStringLiteral("monitored");
    case HostState::New: return QStringLiteral("new");
    case HostState::NotAPrinter: return QStringLiteral("not a printer");
    }
    return {};
}

bool PrinterSearch::start(const QList<quint32> &addresses, QString &why) {
    const store::PipRecords records(store::globals().iniFile);
    for (int slot = 1; slot <= store::SlotCount; ++slot) {
        const QString host = store::hostOf(records.address(slot)).trimmed();
        if (host.size() >= store::ShortestAddress) monitoredAddresses_.insert(platform::ResolveHost(host));
        const QString identity = records.identity(slot).trimmed();
        if (!identity.isEmpty()) monitoredIdentities_.insert(identity);
    }
    progress_.total = int(addresses.size());
    try {
        probe_ = platform::CreateObject(QStringLiteral("quorrel.SnmpV1"));
        const QList<store::SnmpProfile> profiles = searchProfiles();
        for (int i = 0; i < profiles.size(); ++i) {
            QStringList asked;
            for (const quint32 address : addresses) {
                const QString dotted = dottedAddress(address);
                if (!profiles[i].appliesTo(dotted)) continue;
                asked.append(dotted);
                answers_[address].outstanding += 2;
            }
            if (asked.isEmpty()) continue;
            probe_.set(QStringLiteral("CommStr"), profiles[i].community);
            probe_.set(QStringLiteral("Version"), profiles[i].version);
            for (const auto &[member, value] : reading::profileMembers(profiles[i])) probe_.set(member, value);
            probe_.set(QStringLiteral("Retransmit"), 0);
            const QString oids = printermib::SysDescr + u';' + printermib::SysObjectId;
            const QString reply =
                probe_.call(QStringLiteral("BatchGet"), {asked.join(u' '), oids, QString::number(i)}).toString();
            if (reply != QLatin1String("Successful")) {
                why = QStringLiteral("profile %1: %2").arg(profiles[i].name, reply);
                return false;
            }
        }
    } catch (const platform::Fault &fault) {
        why = fault.description;
        return false;
    }
    progress_.asked = progress_.total - int(answers_.size()); // addresses no profile applies to
    finished_ = answers_.isEmpty();
    return true;
}

bool PrinterSearch::advance(int waitMs) {
    if (finished_) return false;
    QElapsedTimer clock;
    clock.start();
    if (takeAnswers(waitMs) && toIdentify_.isEmpty()) return true;
    do {
        if (toIdentify_.isEmpty()) break;
        const quint32 address = toIdentify_.takeFirst();
        const FoundHost host = identify(address, answers_.value(address));
        if (host.state != HostState::NotAPrinter) ++progress_.printers;
        found_.insert(address, host);
    } while (clock.elapsed() < waitMs);
    finished_ = toIdentify_.isEmpty() && progress_.asked == progress_.total;
    return !finished_;
}

// Takes the answers that come within waitMs; true while some are still to come.
bool PrinterSearch::takeAnswers(int waitMs) {
    if (progress_.asked == progress_.total) return false;
    QElapsedTimer clock;
    clock.start();
    try {
        while (true) {
            QList<platform::ComponentArgument> args{{QString(), true}, {QString(), true}, {QString(), true},
                                                    {std::max<qint64>(0, waitMs - clock.elapsed()), false}};
            const QString text = probe_.call(QStringLiteral("BatchNext"), args).toString();
            const QString agent = args[0].value.toString();
            if (agent.isEmpty()) break;
            take(agent, args[1].value.toString(), args[2].value.toInt(), text);
        }
    } catch (const platform::Fault &) {
        progress_.asked = progress_.total; // the library failed: what answered so far is all there is
    }
    return progress_.asked < progress_.total;
}

void PrinterSearch::take(const QString &agent, const QString &oid, int profile, const QString &text) {
    const quint32 address = store::parseIpv4(agent).value_or(0);
    Answers &answers = answers_[address];
    if (reading::agentAnswered(text)) answers.answered = true;
    if (isValue(text)) answers.values[profile].insert(oid, text);
    if (--answers.outstanding > 0) return;
    ++progress_.asked;
    if (!answers.answered) return;
    ++progress_.answered;
    toIdentify_.insert(std::lower_bound(toIdentify_.begin(), toIdentify_.end(), address), address);
}

FoundHost PrinterSearch::identify(quint32 address, const Answers &answers) const {
    FoundHost host;
    host.address = dottedAddress(address);
    // The values of the first profile, in file order, that read the description, else of the first that read any.
    const auto withDescription = std::find_if(answers.values.begin(), answers.values.end(),
                                              [](const auto &values) { return values.contains(printermib::SysDescr); });
    const QHash<QString, QString> values = withDescription != answers.values.end() ? *withDescription
                                           : answers.values.isEmpty()            ? QHash<QString, QString>()
                                                                                  : answers.values.first();
    // The reading below asks with the profile that answered, instead of trying the profiles one by one again.
    const store::SnmpProfiles profiles = store::snmpProfiles();
    if (profiles.present && withDescription != answers.values.end())
        reading::choose(host.address, profiles, profiles.profiles.value(withDescription.key()).name);
    const QString sysDescr = values.value(printermib::SysDescr);
    const short brand = reading::brandOfDescription(sysDescr);
    if (brand == reading::Unknown && !hasPrinterMib(host.address)) {
        host.state = HostState::NotAPrinter;
        return host;
    }
    host.maker = brandName(brand);
    if (host.maker.isEmpty()) {
        const auto maps = reading::countermaps::load();
        if (const auto *maker = reading::countermaps::makerOf(maps.entries, values.value(printermib::SysObjectId),
                                                              [&] { return sysDescr; }))
            host.maker = maker->maker;
    }
    const reading::ModelAndIdentity read =
        reading::readModelAndIdentity(reading::readingRules(brand, sysDescr), host.address);
    host.model = read.model == reading::ReadFailed ? QString() : read.model.trimmed();
    host.identity = read.identity == reading::ReadFailed ? QString() : read.identity.trimmed();
    const bool known = monitoredAddresses_.contains(host.address) ||
                       (!host.identity.isEmpty() && monitoredIdentities_.contains(host.identity));
    host.state = known ? HostState::Monitored : HostState::New;
    return host;
}

QList<FoundHost> PrinterSearch::hosts() const {
    QList<quint32> addresses = found_.keys();
    std::sort(addresses.begin(), addresses.end());
    QList<FoundHost> hosts;
    for (const quint32 address : addresses) hosts.append(found_.value(address));
    return hosts;
}

AddResult addNewPrinters(const QList<FoundHost> &hosts) {
    AddResult result;
    store::PipRecords records(store::globals().iniFile);
    for (const FoundHost &host : hosts) {
        if (host.state != HostState::New) continue;
        const int slot = records.firstFreeSlot();
        if (slot == 0) {
            result.leftOut.append(host);
            continue;
        }
        records.store(slot, host.address, host.model);
        result.added.append(host);
        result.slotNumbers.append(slot);
        QString address = host.address, location = host.model;
        updateServer(address, location);
    }
    return result;
}

} // namespace discovery
