// meterlane-cli supplies: every supply of printers read now, headless: the named hosts, else every monitored printer.
// A line per supply (kind, colour, fill, days left from the levels the history store keeps, level, description and
// what the maker's own table adds) and the conditions the levels give, or one JSON object per printer and line.
// Nothing stored changes: the history store is opened read-only.
#include "commands.h"

#include "platform/hostresolution.h"
#include "reading/supplies.h"
#include "reading/supplyread.h"
#include "store/alertsettings.h"
#include "store/history.h"
#include "store/log.h"
#include "store/usage.h"

#include <QMap>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

#include <memory>
#include <optional>

namespace cli {
namespace {

using reading::supplies::Supply;

struct PrinterSupplies {
    QString host, address; // address: empty when the host did not resolve
    reading::SuppliesRead read;
    QMap<int, std::optional<int>> daysLeft; // by supply index, from the levels the history store keeps
};

// The standard's name of the supply's type, or its number where the standard names none.
QString kindOf(const Supply &supply) {
    return supply.kind.isEmpty() ? QStringLiteral("type ") + QString::number(supply.type) : supply.kind;
}

// "73 % left", "95 % full (nearly full)", "100 % left (above its maximum)", or the state's word where no percent is.
QString fillText(const Supply &supply) {
    const reading::supplies::Level &fill = supply.fill;
    if (!fill.percent) return fill.state;
    QStringList notes;
    if (fill.aboveMaximum) notes << QStringLiteral("above its maximum");
    if (fill.state != reading::supplies::Ok) notes << fill.state;
    return QStringLiteral("%1 % %2").arg(*fill.percent).arg(supply.receptacle ? u"full" : u"left") +
           (notes.isEmpty() ? QString() : QStringLiteral(" (") + notes.join(QStringLiteral(", ")) + u')');
}

// The level and maximum in the row's unit, without the special values: "1460 of 2000 impressions", "space 5 of 100".
QString levelText(const Supply &supply) {
    QString text;
    if (supply.level >= 0 && supply.maxCapacity > 0)
        text = QStringLiteral("%1 of %2").arg(supply.level).arg(supply.maxCapacity);
    else if (supply.level >= 0)
        text = QString::number(supply.level);
    else if (supply.maxCapacity > 0)
        text = QStringLiteral("maximum ") + QString::number(supply.maxCapacity);
    if (text.isEmpty()) return text;
    if (supply.receptacle && supply.level >= 0) text.prepend(QStringLiteral("space "));
    return supply.unit.isEmpty() ? text : text + u' ' + supply.unit;
}

// "about 12 days left", "about 30 days to full", "days left not yet known"; nothing for a supply without a fill.
QString daysLeftPart(const Supply &supply, std::optional<int> days) {
    if (!supply.fill.percent) return QString();
    return (days ? QString() : QStringLiteral("days left ")) + store::daysLeftText(days, supply.receptacle);
}

// "  3 toner cyan: 4 % left (low), about 5 days left, 4 of 100 percent, "Cyan Cartridge", part 71B0020, serial C5X01"
QString supplyLine(const Supply &supply, std::optional<int> days) {
    QStringList parts{QString::number(supply.index) + u' ' + kindOf(supply) +
                      (supply.colour.isEmpty() ? QString() : u' ' + supply.colour) + QStringLiteral(": ") +
                      fillText(supply)};
    if (const QString left = daysLeftPart(supply, days); !left.isEmpty()) parts << left;
    if (const QString level = levelText(supply); !level.isEmpty()) parts << level;
    if (!supply.description.isEmpty()) parts << u'"' + store::oneLine(supply.description) + u'"';
    const reading::supplies::MakerDetails &maker = supply.maker;
    if (!maker.partNumber.isEmpty()) parts << QStringLiteral("part ") + store::oneLine(maker.partNumber);
    if (!maker.serial.isEmpty()) parts << QStringLiteral("serial ") + store::oneLine(maker.serial);
    if (!maker.cartridgeType.isEmpty()) parts << QStringLiteral("cartridge ") + store::oneLine(maker.cartridgeType);
    if (maker.pagesAtInstall) parts << QString::number(*maker.pagesAtInstall) + QStringLiteral(" pages at install");
    return QStringLiteral("  ") + parts.join(QStringLiteral(", ")) + u'\n';
}

QString suppliesText(const PrinterSupplies &report, const store::AlertSettings &settings) {
    const reading::SuppliesRead &read = report.read;
    if (!read.answered) return report.host + QStringLiteral(": not answering\n");
    QString text = report.host + QStringLiteral(": answers");
    if (read.deviceIndex != 1) text += QStringLiteral(", device ") + QString::number(read.deviceIndex);
    text += u'\n';
    for (const Supply &supply : read.supplies) text += supplyLine(supply, report.daysLeft.value(supply.index));
    if (read.supplies.isEmpty()) text += QStringLiteral("  no supply\n");
    for (const auto &condition : reading::supplies::conditionsOf(read.supplies))
        if (!settings.muted(report.address, condition.kind, condition.unit))
            text += QStringLiteral("  %1: %2\n").arg(reading::conditions::severityName(condition.severity),
                                                     store::oneLine(condition.text));
    return text;
}

QJsonObject supplyJson(const Supply &supply, std::optional<int> days) {
    const reading::supplies::MakerDetails &maker = supply.maker;
    return {{QStringLiteral("index"), supply.index},
            {QStringLiteral("kind"), kindOf(supply)},
            {QStringLiteral("class"), supply.receptacle ? QStringLiteral("receptacle") : QStringLiteral("consumed")},
            {QStringLiteral("colour"), textOrNull(supply.colour)},
            {QStringLiteral("percent"), supply.fill.percent ? QJsonValue(*supply.fill.percent) : QJsonValue()},
            {QStringLiteral("state"), supply.fill.state},
            {QStringLiteral("daysLeft"), days ? QJsonValue(*days) : QJsonValue()},
            // The special values (-1, -2, -3) are no amounts: the state names them.
            {QStringLiteral("level"), supply.level >= 0 ? QJsonValue(supply.level) : QJsonValue()},
            {QStringLiteral("max"), supply.maxCapacity >= 0 ? QJsonValue(supply.maxCapacity) : QJsonValue()},
            {QStringLiteral("unit"), textOrNull(supply.unit)},
            {QStringLiteral("description"), supply.description},
            {QStringLiteral("partNumber"), textOrNull(maker.partNumber)},
            {QStringLiteral("serial"), textOrNull(maker.serial)},
            {QStringLiteral("cartridgeType"), textOrNull(maker.cartridgeType)},
            {QStringLiteral("pagesAtInstall"),
             maker.pagesAtInstall ? QJsonValue(qint64(*maker.pagesAtInstall)) : QJsonValue()}};
}

QString suppliesJsonLine(const PrinterSupplies &report) {
    QJsonArray supplies;
    for (const Supply &supply : report.read.supplies)
        supplies.append(supplyJson(supply, report.daysLeft.value(supply.index)));
    const QJsonObject object{
        {QStringLiteral("host"), report.host},
        {QStringLiteral("answered"), report.read.answered},
        {QStringLiteral("deviceIndex"), report.read.answered ? QJsonValue(report.read.deviceIndex) : QJsonValue()},
        {QStringLiteral("supplies"), supplies}};
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) + u'\n';
}

PrinterSupplies readSuppliesNow(const QString &host, const store::History *history) {
    PrinterSupplies report;
    report.host = host;
    report.address = platform::ResolveHost(host);
    if (report.address.isEmpty()) {
        QTextStream(stderr) << "meterlane-cli: cannot resolve " << host << "\n";
        return report;
    }
    report.read = reading::readSupplies(report.address);
    if (history && report.read.answered)
        report.daysLeft = store::daysLeftBySupply(history->supplies(host), QDateTime::currentDateTimeUtc());
    return report;
}

} // namespace

int suppliesCommand(const QStringList &args) {
    std::optional<std::unique_ptr<store::History>> history; // opened at the first printer, once the folder is known
    return eachPrinter(QStringLiteral("supplies"), args, QStringLiteral("supplies are"),
                       [&](const QString &host, bool, bool json, QTextStream &out) {
                           if (!history) history = readHistory(/*sayMissing*/ false);
                           const PrinterSupplies report = readSuppliesNow(host, history->get());
                           out << (json ? suppliesJsonLine(report) : suppliesText(report, store::alertSettings()));
                           return report.read.answered;
                       });
}

} // namespace cli
