// meterlane-cli discover: the search for a site's printers over address ranges, and with --add the new ones put into
// free slots and announced. Standard output holds one line per host that answered, in address order; progress goes
// to standard error.
#include "commands.h"
#include "consolewindow.h"

#include "discovery/printersearch.h"
#include "store/config.h"
#include "store/globals.h"
#include "store/log.h"
#include "store/pips.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

namespace cli {
namespace {

QString orDash(const QString &text) { return text.isEmpty() ? QStringLiteral("-") : text; }

QString hostLine(const discovery::FoundHost &host, bool json) {
    if (json)
        return QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("address"), host.address},
                                                            {QStringLiteral("maker"), host.maker},
                                                            {QStringLiteral("model"), host.model},
                                                            {QStringLiteral("identity"), host.identity},
                                                            {QStringLiteral("state"), discovery::stateText(host.state)}})
                                      .toJson(QJsonDocument::Compact));
    // A printer's model or identity holding a tab or a line end would print fields and host lines of its own.
    QStringList fields{host.address, orDash(host.maker), orDash(host.model), orDash(host.identity),
                       discovery::stateText(host.state)};
    for (QString &field : fields) field = store::oneLine(field);
    return fields.join(u'\t');
}

QString noteLine(const QString &key, const QString &text, bool json) {
    if (json) return QString::fromUtf8(QJsonDocument(QJsonObject{{key, text}}).toJson(QJsonDocument::Compact));
    return key + QStringLiteral(": ") + text;
}

QString progressLine(const discovery::PrinterSearch::Progress &progress) {
    return QStringLiteral("asked %1 of %2 addresses, %3 answered, %4 printers")
        .arg(progress.asked)
        .arg(progress.total)
        .arg(progress.answered)
        .arg(progress.printers);
}

// Adds the new printers and says so; false when some found no free slot.
bool addPrinters(const QList<discovery::FoundHost> &hosts, bool json, QTextStream &out) {
    const discovery::AddResult result = discovery::addNewPrinters(hosts);
    for (int i = 0; i < result.added.size(); ++i)
        out << noteLine(QStringLiteral("added"),
                        QStringLiteral("%1 as %2").arg(result.added[i].address, store::slotKey(result.slotNumbers[i])), json)
            << "\n";
    out.flush();
    if (result.leftOut.isEmpty()) return true;
    QStringList left;
    for (const discovery::FoundHost &host : result.leftOut) left.append(host.address);
    QTextStream(stderr) << "meterlane-cli: every slot is taken; not added: " << left.join(QStringLiteral(", ")) << "\n";
    return false;
}

} // namespace

int discoverCommand(const QStringList &args) {
    QCommandLineParser parser;
    const QCommandLineOption json(QStringLiteral("json")), add(QStringLiteral("add"));
    parser.addOptions({json, add, folderOption()});
    if (!parseArguments(parser, QStringLiteral("discover"), args)) return ExitUsage;
    const QStringList ranges = parser.positionalArguments();
    if (ranges.isEmpty()) return usageError(QStringLiteral("discover takes RANGE... [--json] [--add] [--folder DIR]"));
    QList<quint32> addresses;
    QString why;
    if (!discovery::searchAddresses(ranges, addresses, why)) return usageError(why);
    if (!useProgramFolder(parser)) return ExitFailed;
    if (parser.isSet(add)) {
        if (!QFileInfo(store::globals().programFolder).isDir()) {
            QTextStream(stderr) << "meterlane-cli: folder " << store::globals().programFolder << " does not exist\n";
            return ExitFailed;
        }
        if (!lockProgramFolder()) return ExitFailed;
        store::CreateIniFile();
        store::readVendorValues();
    }
    ConsoleWindow console;
    platform::setWindow(&console);

    QTextStream out(stdout), err(stderr);
    const bool asJson = parser.isSet(json);
    for (const QString &range : discovery::rangesOutside(ranges, discovery::ownSubnets()))
        out << noteLine(QStringLiteral("outside this machine's subnets"), range, asJson) << "\n";
    out.flush();
    discovery::PrinterSearch search;
    if (!search.start(addresses, why)) {
        err << "meterlane-cli: " << why << "\n";
        platform::setWindow(nullptr);
        return ExitFailed;
    }
    QElapsedTimer sinceShown;
    sinceShown.start();
    while (search.advance(200)) {
        if (sinceShown.elapsed() < 1000) continue;
        err << progressLine(search.progress()) << "\n";
        err.flush();
        sinceShown.restart();
    }
    err << progressLine(search.progress()) << "\n";
    err.flush();
    const QList<discovery::FoundHost> hosts = search.hosts();
    for (const discovery::FoundHost &host : hosts) out << hostLine(host, asJson) << "\n";
    out.flush();

    bool complete = true;
    if (parser.isSet(add)) complete = addPrinters(hosts, asJson, out);
    console.waitForRequests();
    platform::setWindow(nullptr);
    return complete && console.failedRequests() == 0 ? ExitOk : ExitFailed;
}

} // namespace cli
