// meterlane-cli read, probe, maps and profiles: the reading engine on one printer, and the counter maps and credential
// profiles it uses, headless. Nothing stored is changed.
#include "commands.h"
#include "consolewindow.h"

#include "platform/hostresolution.h"
#include "reading/brand.h"
#include "reading/countermaps.h"
#include "reading/keypoint.h"
#include "reading/printerinfo.h"
#include "reading/oidreader.h"
#include "reading/probe.h"
#include "reading/profilechoice.h"
#include "store/config.h"
#include "store/snmpprofiles.h"

#include <QTextStream>

namespace cli {
namespace {

// The printer's address, or an error line and nothing.
QString resolved(const QString &host) {
    const QString address = platform::ResolveHost(host);
    if (address.isEmpty()) QTextStream(stderr) << "PIP error: " << host << ">\n";
    return address;
}

// HOST [--folder DIR]: the host, with the globals pointed at the program folder; else the exit status, after saying
// why.
int hostInFolder(const QString &command, const QStringList &args, QString &host) {
    QCommandLineParser parser;
    parser.addOption(folderOption());
    if (!parseArguments(parser, command, args)) return ExitUsage;
    if (parser.positionalArguments().size() != 1)
        return usageError(command + QStringLiteral(" takes HOST [--folder DIR]"));
    if (!useProgramFolder(parser)) return ExitFailed;
    host = parser.positionalArguments().constFirst();
    return ExitOk;
}

// "slot K NAME: OID = VALUE (ENTRY in FILE)", a slot the counter map filled, and a line for each part of a packed
// record or a sum ("  record 01 = VALUE", "  OID = COUNT").
QString mappedSlotLines(const reading::MappedSlot &slot) {
    const QString chosenBy = slot.entry.isEmpty() ? QStringLiteral("prtMarkerLifeCount")
                                                  : QStringLiteral("%1 in %2").arg(slot.entry, slot.file);
    QString lines = QStringLiteral("slot %1 %2: %3 = %4 (%5)\n")
                        .arg(QString::number(slot.slot), reading::counterName(slot.slot), slot.oid, slot.value, chosenBy);
    for (const QString &part : slot.parts) lines += QStringLiteral("  ") + part + u'\n';
    return lines;
}

// "[NAME] Version=... Hosts=...", a profile as its file gives it, the passphrases masked.
QString profileLine(const store::SnmpProfile &profile) {
    static const QString masked = QStringLiteral("********");
    QStringList keys{QStringLiteral("Version=") + profile.version};
    if (profile.version != QLatin1String("3")) keys << QStringLiteral("Community=") + profile.community;
    else keys << QStringLiteral("User=") + profile.user;
    if (!profile.authProtocol.isEmpty())
        keys << QStringLiteral("AuthProtocol=") + profile.authProtocol << QStringLiteral("AuthPassphrase=") + masked;
    if (!profile.privProtocol.isEmpty())
        keys << QStringLiteral("PrivProtocol=") + profile.privProtocol << QStringLiteral("PrivPassphrase=") + masked;
    if (!profile.context.isEmpty()) keys << QStringLiteral("Context=") + profile.context;
    keys << QStringLiteral("Hosts=") + (profile.blocks.isEmpty() ? QStringLiteral("(every host)") : profile.hosts);
    return u'[' + profile.name + QStringLiteral("] ") + keys.join(u' ');
}

} // namespace

int readCommand(const QStringList &args) {
    QString host;
    if (const int status = hostInFolder(QStringLiteral("read"), args, host); status != ExitOk) return status;
    store::readVendorValues();

    ConsoleWindow console;
    platform::setWindow(&console);
    const QString address = resolved(host);
    if (address.isEmpty()) return ExitFailed;
    // As a read-and-send cycle reads a record for the first time: brand, key point, then the reading.
    QString sysDescr, identity;
    const short brand = reading::GetCodeBrand(address, sysDescr);
    const short rules = reading::readingRules(brand, sysDescr);
    const reading::KeyPointSearch search = reading::searchKeyPoint(rules, address, identity);
    const reading::PrinterReading found =
        reading::readPrinter(rules, host, address, QString(), search.keyPoint, identity);
    platform::setWindow(nullptr);

    QTextStream out(stdout);
    out << "brand: " << brand << "\n"
        << "sysDescr: " << sysDescr << "\n"
        << "keypoint: " << search.keyPoint << "\n"
        << "maker: " << search.map.maker << "\n";
    for (const reading::MappedSlot &slot : search.map.filled) out << mappedSlotLines(slot);
    out << "identity: " << identity << "\n"
        << "model: " << found.model << "\n"
        << "totals: " << found.totalBW << ";" << found.totalColour << "\n"
        << "toner: " << oneLine(found.tonerWarning) << "\n"
        << "record: " << found.record << "\n";
    return ExitOk;
}

int probeCommand(const QStringList &args) {
    QString host;
    if (const int status = hostInFolder(QStringLiteral("probe"), args, host); status != ExitOk) return status;
    const reading::ProbeLabels labels = reading::ProbeSelectedPrinter(host, QString());
    if (!labels.status.isEmpty()) {
        QTextStream(stderr) << labels.status << "\n";
        return ExitFailed;
    }
    QTextStream(stdout) << "brand: " << labels.brand << "\n"
                        << "sysDescr: " << labels.brandTip << "\n"
                        << "model: " << labels.model << "\n"
                        << "id: " << labels.identity << "\n"
                        << "counter: " << labels.counter << "\n";
    return ExitOk;
}

int mapsCommand(const QStringList &args) {
    QCommandLineParser parser;
    parser.addOption(folderOption());
    if (!parseArguments(parser, QStringLiteral("maps"), args)) return ExitUsage;
    if (!parser.positionalArguments().isEmpty()) return usageError(QStringLiteral("maps takes [--folder DIR]"));
    if (!useProgramFolder(parser)) return ExitFailed;

    const reading::countermaps::Maps maps = reading::countermaps::load();
    QTextStream out(stdout);
    for (const reading::countermaps::Entry &entry : maps.entries) {
        out << "[" << entry.name() << "] " << entry.file;
        if (!entry.overrides.isEmpty()) out << " (replaces the entry of " << entry.overrides << ")";
        if (!entry.keysFrom.isEmpty()) out << " (its Enterprise and Words from " << entry.keysFrom << ")";
        out << "\n";
        if (!entry.enterprises.isEmpty()) out << "  enterprise " << entry.enterprises.join(QStringLiteral(", ")) << "\n";
        if (!entry.words.isEmpty()) out << "  words " << entry.words.join(QStringLiteral(", ")) << "\n";
        for (auto slot = entry.counters.cbegin(); slot != entry.counters.cend(); ++slot)
            out << "  slot " << slot.key() << " " << reading::counterName(slot.key()) << ": "
                << slot->candidates.join(u' ') << (slot->source.isEmpty() ? "" : " ; ") << slot->source << "\n";
    }
    for (const reading::countermaps::SupplyTable &table : maps.supplyTables) {
        if (table.table.isEmpty()) continue;
        out << "[" << reading::countermaps::SuppliesPrefix << table.maker << "] " << table.file << "\n  table "
            << table.table << "\n";
        const std::pair<const char *, int> columns[] = {{"description", table.description}, {"serial", table.serial},
                                                        {"part number", table.partNumber},
                                                        {"cartridge type", table.cartridgeType},
                                                        {"pages at install", table.pagesAtInstall}};
        for (const auto &[name, column] : columns)
            if (column) out << "  " << name << " ." << column << "\n";
    }
    out.flush();
    QTextStream err(stderr);
    for (const QString &file : maps.unreadable) err << "meterlane-cli: cannot read " << file << "\n";
    const QStringList problems = reading::countermaps::problemsOf(maps.entries, maps.supplyTables);
    for (const QString &problem : problems) err << "meterlane-cli: " << problem << "\n";
    if (maps.read.isEmpty())
        err << "meterlane-cli: no counter maps in " << reading::countermaps::searchedFiles().join(QStringLiteral(", "))
            << "\n";
    return maps.read.isEmpty() || !maps.unreadable.isEmpty() || !problems.isEmpty() ? ExitFailed : ExitOk;
}

int profilesCommand(const QStringList &args) {
    QCommandLineParser parser;
    parser.addOption(folderOption());
    if (!parseArguments(parser, QStringLiteral("profiles"), args)) return ExitUsage;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1) return usageError(QStringLiteral("profiles takes [HOST] [--folder DIR]"));
    if (!useProgramFolder(parser)) return ExitFailed;

    const store::SnmpProfiles profiles = store::snmpProfiles(); // says its problems on standard error
    QTextStream out(stdout);
    if (!profiles.present)
        out << "no " << profiles.path << ": every printer is asked with version 1 and the community public\n";
    for (const store::SnmpProfile &profile : profiles.profiles) out << profileLine(profile) << "\n";
    if (positional.isEmpty()) return profiles.problems.isEmpty() ? ExitOk : ExitFailed;

    const QString address = resolved(positional[0]);
    if (address.isEmpty()) return ExitFailed;
    store::SnmpProfile always;
    always.name = QStringLiteral("version 1, public");
    const QList<store::SnmpProfile> order =
        profiles.present ? reading::trialOrder(address, profiles) : QList<store::SnmpProfile>{always};
    const QList<reading::ProfileTry> tries = reading::tryProfiles(
        order, [&](const store::SnmpProfile &profile, bool singleTry) {
            return reading::tryProfile(address, profile, singleTry);
        });
    for (const reading::ProfileTry &made : tries)
        out << address << " [" << made.profile.name << "] " << made.milliseconds << " ms: "
            << (made.answered ? "answers: " : "no answer: ") << made.reply << "\n";
    if (!tries.isEmpty() && tries.last().answered) return ExitOk;
    out.flush();
    QTextStream(stderr) << "meterlane-cli: no profile answers " << address << "\n";
    return ExitFailed;
}

} // namespace cli
