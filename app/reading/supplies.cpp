#include "supplies.h"

#include <QRegularExpression>

#include <algorithm>

namespace reading::supplies {
namespace {

using conditions::Condition;
using conditions::Severity;

constexpr int ReceptacleClass = 4, ConsumedClass = 3;

// PrtMarkerSuppliesTypeTC, 1 to 36.
const QStringList &typeNames() {
    static const QStringList names = {
        QStringLiteral("other"),           QStringLiteral("unknown"),            QStringLiteral("toner"),
        QStringLiteral("waste toner"),     QStringLiteral("ink"),                QStringLiteral("ink cartridge"),
        QStringLiteral("ink ribbon"),      QStringLiteral("waste ink"),          QStringLiteral("drum (opc)"),
        QStringLiteral("developer"),       QStringLiteral("fuser oil"),          QStringLiteral("solid wax"),
        QStringLiteral("ribbon wax"),      QStringLiteral("waste wax"),          QStringLiteral("fuser"),
        QStringLiteral("corona wire"),     QStringLiteral("fuser oil wick"),     QStringLiteral("cleaner unit"),
        QStringLiteral("fuser cleaning pad"), QStringLiteral("transfer unit"),   QStringLiteral("toner cartridge"),
        QStringLiteral("fuser oiler"),     QStringLiteral("water"),              QStringLiteral("waste water"),
        QStringLiteral("glue water additive"), QStringLiteral("waste paper"),    QStringLiteral("binding supply"),
        QStringLiteral("banding supply"),  QStringLiteral("stitching wire"),     QStringLiteral("shrink wrap"),
        QStringLiteral("paper wrap"),      QStringLiteral("staples"),            QStringLiteral("inserts"),
        QStringLiteral("covers"),          QStringLiteral("matte toner"),        QStringLiteral("matte ink")};
    return names;
}

enum Type { Other = 1, UnknownType = 2, Toner = 3, WasteToner = 4, Ink = 5, InkCartridge = 6, WasteInk = 8, Opc = 9,
            Developer = 10, WasteWax = 14, Fuser = 15, CoronaWire = 16, FuserOilWick = 17, CleanerUnit = 18,
            FuserCleaningPad = 19, TransferUnit = 20, TonerCartridge = 21, FuserOiler = 22, WasteWater = 24,
            WastePaper = 26, MatteToner = 35, MatteInk = 36 };

bool isTonerOrInk(int type) {
    return type == Toner || type == Ink || type == InkCartridge || type == TonerCartridge || type == MatteToner ||
           type == MatteInk;
}

bool isInk(int type) { return type == Ink || type == InkCartridge || type == MatteInk; }

// A type that says nothing of the supply: not read, other or unknown.
bool untyped(int type) { return type == 0 || type == Other || type == UnknownType; }

bool isWaste(int type) {
    return type == WasteToner || type == WasteInk || type == WasteWax || type == WasteWater || type == WastePaper;
}

bool hasWord(const QString &text, const QString &word) {
    const QRegularExpression whole(QStringLiteral("(?<!\\w)%1(?!\\w)").arg(QRegularExpression::escape(word)),
                                   QRegularExpression::CaseInsensitiveOption);
    return whole.match(text).hasMatch();
}

// Parts that wear out rather than run empty; a supply of type other whose description calls it a kit is one too.
bool isPartLike(int type, const QString &description) {
    static const QList<int> parts = {Opc,         Developer,       Fuser,         CoronaWire,
                                     FuserOilWick, CleanerUnit,    FuserCleaningPad, TransferUnit, FuserOiler};
    return parts.contains(type) || hasWord(description, QStringLiteral("kit"));
}

QString capitalised(QString text) {
    if (!text.isEmpty()) text[0] = text[0].toUpper();
    return text;
}

// How a supply's conditions are named: the kinds at its end and when low, their texts, and the unit of their key.
// Toner, ink, the drum and the waste toner box are named as the alert table names them, so that a row and a level
// saying the same thing are one condition.
struct Naming {
    QString endKind, lowKind, endText, lowText, unit;
};

Naming namingOf(const Supply &supply) {
    const QString name = capitalised(supply.name());
    const QString colour = supply.colour.isEmpty() ? QString() : QStringLiteral(": ") + supply.colour;
    if (supply.receptacle && supply.type == WasteToner)
        return {QStringLiteral("wasteFull"), QStringLiteral("wasteNearlyFull"), name + QStringLiteral(" full"),
                name + QStringLiteral(" nearly full"), supply.colour};
    if (supply.receptacle)
        return {QStringLiteral("receptacleFull"), QStringLiteral("receptacleNearlyFull"),
                name + QStringLiteral(" full"), name + QStringLiteral(" nearly full"), supply.name()};
    if (supply.tonerOrInk) {
        const bool ink =
            isInk(supply.type) || (untyped(supply.type) && !hasWord(supply.description, QStringLiteral("toner")));
        const QString word = ink ? QStringLiteral("Ink") : QStringLiteral("Toner");
        return {QStringLiteral("tonerEmpty"), QStringLiteral("tonerLow"), word + QStringLiteral(" empty") + colour,
                word + QStringLiteral(" low") + colour, supply.colour};
    }
    if (supply.type == Opc)
        return {QStringLiteral("drumEnd"), QStringLiteral("drumLow"), QStringLiteral("Drum at end of life") + colour,
                QStringLiteral("Drum near end of life") + colour, supply.colour};
    if (supply.partLike)
        return {QStringLiteral("partEnd"), QStringLiteral("partLow"), name + QStringLiteral(" at end of life"),
                name + QStringLiteral(" near end of life"), supply.name()};
    return {QStringLiteral("supplyEmpty"), QStringLiteral("supplyLow"), name + QStringLiteral(" empty"),
            name + QStringLiteral(" low"), supply.name()};
}

std::optional<Condition> conditionOf(const Supply &supply) {
    const QString &state = supply.fill.state;
    // A receptacle with "some remaining" has room left: that is no condition.
    if (state == SomeRemaining && !supply.receptacle)
        return Condition{QStringLiteral("someRemaining"), supply.name(), Severity::Notice,
                         capitalised(supply.name()) + QStringLiteral(": some remaining"), false};
    const Naming naming = namingOf(supply);
    if (state == Empty || state == Full)
        return Condition{naming.endKind, naming.unit, Severity::Critical, naming.endText, false};
    if (state == Low || state == NearlyFull)
        return Condition{naming.lowKind, naming.unit, Severity::Warning, naming.lowText, false};
    return std::nullopt;
}

// The colour words of the five languages (and their feminine forms), each with the colour it names.
const QList<std::pair<QString, QString>> &colourWords() {
    static const QList<std::pair<QString, QString>> words = [] {
        const std::pair<const char *, const char *> named[] = {
            {"black", "black"},   {"schwarz", "black"}, {"noir", "black"},     {"noire", "black"},
            {"negro", "black"},   {"negra", "black"},   {"nero", "black"},     {"nera", "black"},
            {"cyan", "cyan"},     {"cian", "cyan"},     {"ciano", "cyan"},     {"magenta", "magenta"},
            {"yellow", "yellow"}, {"gelb", "yellow"},   {"jaune", "yellow"},   {"amarillo", "yellow"},
            {"amarilla", "yellow"}, {"giallo", "yellow"}, {"gialla", "yellow"}};
        QList<std::pair<QString, QString>> list;
        for (const auto &[word, colour] : named) list.append({QString::fromLatin1(word), QString::fromLatin1(colour)});
        return list;
    }();
    return words;
}

// The standard's name of a supply type and unit; the empty text for a value it does not define.
QString typeName(int type) { return type >= 1 && type <= typeNames().size() ? typeNames()[type - 1] : QString(); }

QString unitName(int unit) {
    static const QMap<int, QString> names = {
        {3, QStringLiteral("ten-thousandths of inches")}, {4, QStringLiteral("micrometers")},
        {7, QStringLiteral("impressions")},              {8, QStringLiteral("sheets")},
        {11, QStringLiteral("hours")},                   {12, QStringLiteral("thousandths of ounces")},
        {13, QStringLiteral("tenths of grams")},         {14, QStringLiteral("hundredths of fluid ounces")},
        {15, QStringLiteral("tenths of milliliters")},   {16, QStringLiteral("feet")},
        {17, QStringLiteral("meters")},                  {18, QStringLiteral("items")},
        {19, QStringLiteral("percent")}};
    return names.value(unit);
}

} // namespace

Level levelOf(bool receptacle, int level, int maxCapacity, int lowPercent) {
    switch (level) {
    case -1: return {std::nullopt, NoLimit};
    case -2: return {std::nullopt, Unknown};
    case -3: return {std::nullopt, SomeRemaining};
    }
    if (level < 0) return {std::nullopt, Unknown};
    Level read;
    read.aboveMaximum = maxCapacity > 0 && level > maxCapacity;
    const qint64 left = maxCapacity > 0 ? std::min<qint64>(level, maxCapacity) : level;
    // At or below lowPercent of the maximum, compared in whole units so that no rounding decides it.
    const bool low = maxCapacity > 0 && left * 100 <= qint64(lowPercent) * maxCapacity;
    if (maxCapacity > 0) {
        // Rounded, but a supply with anything left never shows 0 %, and a receptacle with any space never 100 %.
        const int leftPercent = int((left * 100 + maxCapacity / 2) / maxCapacity);
        read.percent = receptacle ? (left == 0 ? 100 : std::min(99, 100 - leftPercent))
                                  : (left == 0 ? 0 : std::max(1, leftPercent));
    }
    if (left == 0) read.state = receptacle ? Full : Empty;
    else if (low) read.state = receptacle ? NearlyFull : Low;
    else read.state = Ok;
    return read;
}

QString Supply::name() const {
    QString noun = kind;
    if (type == Opc) noun = QStringLiteral("drum");
    else if (type == WasteToner) noun = QStringLiteral("waste toner box");
    else if (type == WasteInk) noun = QStringLiteral("waste ink box");
    else if (untyped(type) || kind.isEmpty())
        noun = description.isEmpty() ? QStringLiteral("supply ") + QString::number(index) : description;
    return colour.isEmpty() || hasWord(noun, colour) ? noun : colour + u' ' + noun;
}

QString colourOf(const QString &colorantValue, const QString &description) {
    const QString colorant = colorantValue.trimmed().toLower();
    if (!colorant.isEmpty() && colorant != QLatin1String("unknown") && colorant != QLatin1String("other"))
        return colorant;
    // A supply "for black and colour", or for all of cyan, magenta and yellow, is for no single colour.
    static const QStringList severalColours = {QStringLiteral("color"),   QStringLiteral("colour"),
                                               QStringLiteral("colors"),  QStringLiteral("colours"),
                                               QStringLiteral("farbe"),   QStringLiteral("couleur"),
                                               QStringLiteral("colore"),  QStringLiteral("cmy"),
                                               QStringLiteral("cmyk")};
    for (const QString &word : severalColours)
        if (hasWord(description, word)) return {};
    QString found;
    for (const auto &[word, colour] : colourWords()) {
        if (!hasWord(description, word)) continue;
        if (!found.isEmpty() && found != colour) return {}; // two colours: a supply of none in particular
        found = colour;
    }
    return found;
}

QString descriptionOf(const QByteArray &octets, QString *serial) {
    QString text = conditions::panelText(octets, 0);
    static const QRegularExpression serialNumber(QStringLiteral("\\s+S/N\\s*:\\s*(\\S*)\\s*$"),
                                                 QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = serialNumber.match(text);
    if (match.hasMatch()) {
        if (serial) *serial = match.captured(1);
        text.truncate(match.capturedStart());
    }
    return text;
}

Supply supplyOf(const Row &row, const QMap<int, QString> &colorants, int tonerLowPercent, int partsLowPercent) {
    Supply supply;
    supply.index = row.index;
    supply.type = row.type;
    supply.kind = row.type == 0 ? typeName(UnknownType) : typeName(row.type);
    supply.description = descriptionOf(row.description, &supply.maker.serial);
    supply.receptacle = row.supplyClass == ReceptacleClass || (row.supplyClass != ConsumedClass && isWaste(row.type));
    supply.colour = colourOf(colorants.value(row.colorantIndex), supply.description);
    supply.unit = unitName(row.unit);
    supply.level = row.level.value_or(-2);
    supply.maxCapacity = row.maxCapacity.value_or(-2);
    supply.partLike = !supply.receptacle && isPartLike(row.type, supply.description);
    // A supply whose type says nothing is toner or ink where its description names it so.
    const bool namedSo = hasWord(supply.description, QStringLiteral("toner")) ||
                         hasWord(supply.description, QStringLiteral("ink"));
    supply.tonerOrInk =
        !supply.receptacle && !supply.partLike && (isTonerOrInk(row.type) || (untyped(row.type) && namedSo));
    const int low = supply.tonerOrInk ? tonerLowPercent : partsLowPercent;
    supply.fill = levelOf(supply.receptacle, supply.level, supply.maxCapacity, low);
    return supply;
}

QList<Condition> conditionsOf(const QList<Supply> &supplies) {
    QList<Condition> found;
    for (const Supply &supply : supplies)
        if (const auto condition = conditionOf(supply)) found << *condition;
    return found;
}

QList<Condition> merged(QList<Condition> fromSignals, const QList<Condition> &fromSupplies) {
    for (const Condition &condition : fromSupplies) conditions::merge(fromSignals, condition);
    std::stable_sort(fromSignals.begin(), fromSignals.end(),
                     [](const Condition &a, const Condition &b) { return a.severity > b.severity; });
    return fromSignals;
}

} // namespace reading::supplies
