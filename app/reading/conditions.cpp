#include "conditions.h"

#include <QMap>
#include <QStringDecoder>

#include <algorithm>
#include <iconv.h>
#include <vector>

namespace reading::conditions {
namespace {

// Alert groups (PrtAlertGroupTC) that name the sub-unit of a row.
enum Group { Cover = 6, Input = 8, Output = 9, Marker = 10, MarkerSupplies = 11, MarkerColorant = 12,
             MediaPath = 13, FinisherDevice = 30, FinisherSupply = 31 };

// An alert code, of any group (0) or of one group only.
struct AlertMatch {
    int code;
    int group = 0;
};

// Each kind of condition: its severity and text, the error bits and the alert codes that say it. Group-bound codes
// come before the same code of any group (the first match wins); a code in no row and not a state is a notice of
// its own, shown with the printer's description.
struct Kind {
    const char *kind;
    Severity severity;
    const char *text;
    QList<int> bits;
    QList<AlertMatch> alerts;
};

const std::vector<Kind> &kinds() {
    using enum Severity;
    static const std::vector<Kind> table = {
        {"jam", Critical, "Paper jam", {5}, {{8}}},
        {"coverOpen", Critical, "Cover open", {4}, {{3}, {5}, {18}, {501}}},
        {"tonerEmpty", Critical, "Toner empty", {3}, {{1101}, {1102}, {1103}, {1114}, {13, MarkerSupplies}}},
        {"supplyMissing", Critical, "Cartridge missing", {10},
         {{1115}, {9, MarkerSupplies}, {26, MarkerSupplies}, {9, MarkerColorant}}},
        {"wasteFull", Critical, "Waste toner full", {}, {{1109}, {1110}, {15, MarkerSupplies}}},
        {"drumEnd", Critical, "Drum at end of life", {}, {{1112}}},
        {"serviceCall", Critical, "Service call needed", {},
         {{30}, {32}, {33}, {36}, {37}, {38}, {1002}, {1003}, {1004}}},
        {"paperOut", Warning, "Out of paper", {1, 13}, {{808}, {13, Input}}},
        {"tonerLow", Warning, "Toner low", {2}, {{1104}, {1105}, {1106}, {1113}, {12, MarkerSupplies}}},
        {"wasteNearlyFull", Warning, "Waste toner nearly full", {}, {{1107}, {1108}, {14, MarkerSupplies}}},
        {"maintenanceDue", Warning, "Maintenance due", {14}, {{10}, {11}, {16}, {17}, {1111}}},
        {"offline", Warning, "Offline", {6}, {{22}}},
        {"outputFull", Warning, "Output tray full", {12}, {{903}, {1303}, {15, Output}}},
        {"trayMissing", Warning, "Tray missing", {8}, {{801}, {1301}, {9, Input}, {26, Input}}},
        {"outputTrayMissing", Warning, "Output tray missing", {9}, {{901}, {9, Output}, {26, Output}}},
        {"paperRequested", Warning, "Paper requested", {}, {{809}, {810}, {813}}},
        {"serviceRequested", Warning, "Service requested", {7}, {{29}, {31}, {34}, {811}, {812}, {904}}},
        {"finisherSupplyEmpty", Warning, "Finisher supply empty", {}, {{13, FinisherSupply}}},
        {"finisherFull", Warning, "Finisher waste full", {}, {{15, FinisherSupply}}},
        {"missing", Warning, "Part missing", {}, {{9}, {26}}},
        {"empty", Warning, "Empty", {}, {{13}}},
        {"full", Warning, "Full", {}, {{15}}},
        {"paperLow", Notice, "Paper low", {0}, {{807}, {12, Input}}},
        {"outputNearFull", Notice, "Output tray nearly full", {11}, {{902}, {1302}, {14, Output}}},
        {"finisherSupplyLow", Notice, "Finisher supply low", {}, {{12, FinisherSupply}}},
        {"fuserCold", Notice, "Fuser under temperature", {}, {{1001}, {35, Marker}}},
        {"cannotDuplex", Notice, "Cannot print both sides of the paper chosen", {}, {{1304}}},
        {"almostEmpty", Notice, "Almost empty", {}, {{12}}},
        {"almostFull", Notice, "Almost full", {}, {{14}}},
        {"underTemperature", Notice, "Under temperature", {}, {{35}}},
    };
    return table;
}

// Alert codes that report an event or a state, never a condition: closed, on, added, changed, power, warming, ready,
// reset, interpreter news, a removed row's notice.
bool isStateCode(int code) {
    static const QList<int> states = {4,   6,   7,   19,  20,  21,  23,  24,  25,  27,   28,   502,  503,  504,
                                      505, 506, 507, 802, 803, 804, 805, 806, 1005, 1501, 1502, 1503, 1504, 1505,
                                      1506, 1507, 1509, 1801};
    return states.contains(code);
}

// Descriptions of code 1 ("other") rows that real printers use for their states.
bool isStateDescription(const QString &description) {
    static const QStringList words = {QStringLiteral("sleep"),     QStringLiteral("ready"),
                                      QStringLiteral("idle"),      QStringLiteral("power save"),
                                      QStringLiteral("powersave"), QStringLiteral("energy save"),
                                      QStringLiteral("warming up"), QStringLiteral("online")};
    const QString text = description.trimmed().toLower();
    return std::any_of(words.begin(), words.end(), [&](const QString &word) { return text.startsWith(word); });
}

constexpr int BitCount = 15;
const char *const BitNames[BitCount] = {
    "lowPaper",        "noPaper",           "lowToner",          "noToner",      "doorOpen",
    "jammed",          "offline",           "serviceRequested",  "inputTrayMissing", "outputTrayMissing",
    "markerSupplyMissing", "outputNearFull", "outputFull",       "inputTrayEmpty", "overduePreventMaint"};

bool bitSet(const QByteArray &octets, int bit) {
    return bit / 8 < octets.size() && (static_cast<unsigned char>(octets[bit / 8]) >> (7 - bit % 8)) & 1;
}

const Kind *kindOfBit(int bit) {
    for (const Kind &kind : kinds())
        if (kind.bits.contains(bit)) return &kind;
    return nullptr;
}

const Kind *kindOfAlert(int code, int group) {
    for (const Kind &kind : kinds())
        for (const AlertMatch &match : kind.alerts)
            if (match.code == code && match.group == group) return &kind;
    for (const Kind &kind : kinds())
        for (const AlertMatch &match : kind.alerts)
            if (match.code == code && match.group == 0) return &kind;
    return nullptr;
}

// The sub-unit an alert row concerns: its own name where read, else its group's word and index.
QString unitOf(const AlertRow &row) {
    if (!row.unit.isEmpty()) return row.unit;
    if (row.groupIndex <= 0) return {};
    static const QMap<int, QString> words = {{Cover, QStringLiteral("cover")},          {Input, QStringLiteral("tray")},
                                      {Output, QStringLiteral("output bin")},    {MarkerSupplies, QStringLiteral("supply")},
                                      {MarkerColorant, QStringLiteral("colorant")}, {MediaPath, QStringLiteral("media path")},
                                      {FinisherDevice, QStringLiteral("finisher")},
                                      {FinisherSupply, QStringLiteral("finisher supply")}};
    const QString word = words.value(row.group);
    return word.isEmpty() ? QString() : word + u' ' + QString::number(row.groupIndex);
}

bool definedSeverity(int severity) { return severity == 1 || (severity >= 3 && severity <= 5); }

constexpr quint32 DayInHundredths = 24u * 3600u * 100u;
constexpr int UnaryWarning = 4;

// Whether a row is a state, an undefined value or a stale unary warning rather than a condition.
bool leftOut(const AlertRow &row, const Signals &observed, bool sleeping) {
    if (!definedSeverity(row.severity) || row.code <= 0 || row.code == 255 || isStateCode(row.code)) return true;
    if ((row.code == 1 || row.code == 2) && isStateDescription(row.description)) return true;
    if (row.code == 1001 && sleeping) return true;
    return row.severity == UnaryWarning && observed.upTime && *observed.upTime - row.time > DayInHundredths;
}

Condition conditionOf(const Kind &kind, const QString &unit, bool fromAlert) {
    const QString text = QString::fromLatin1(kind.text);
    return {QString::fromLatin1(kind.kind), unit, kind.severity, unit.isEmpty() ? text : text + QStringLiteral(": ") + unit,
            fromAlert};
}

// iconv's name of the character sets an IANA MIBenum names.
QByteArray charsetName(int mibEnum) {
    static const QMap<int, QByteArray> names = {
        {3, "US-ASCII"},      {4, "ISO-8859-1"},     {5, "ISO-8859-2"},   {6, "ISO-8859-3"},   {7, "ISO-8859-4"},
        {8, "ISO-8859-5"},    {9, "ISO-8859-6"},     {10, "ISO-8859-7"},  {11, "ISO-8859-8"},  {12, "ISO-8859-9"},
        {13, "ISO-8859-10"},  {17, "SHIFT_JIS"},     {18, "EUC-JP"},      {38, "EUC-KR"},      {106, "UTF-8"},
        {109, "ISO-8859-13"}, {111, "ISO-8859-15"},  {112, "ISO-8859-16"}, {113, "GBK"},       {114, "GB18030"},
        {1013, "UTF-16BE"},   {1014, "UTF-16LE"},    {1015, "UTF-16"},    {2004, "HP-ROMAN8"}, {2009, "IBM850"},
        {2011, "IBM437"},     {2025, "GB2312"},      {2026, "BIG5"},      {2084, "KOI8-R"},    {2250, "CP1250"},
        {2251, "CP1251"},     {2252, "CP1252"},      {2253, "CP1253"},    {2254, "CP1254"},    {2257, "CP1257"}};
    return names.value(mibEnum);
}

// The octets converted from charset through iconv; nothing when iconv lacks the set or the octets are not of it.
std::optional<QString> converted(const QByteArray &octets, const QByteArray &charset) {
    iconv_t conversion = iconv_open("UTF-8", charset.constData());
    if (conversion == iconv_t(-1)) return std::nullopt;
    QByteArray in = octets;
    QByteArray out(octets.size() * 4 + 4, '\0');
    char *inPointer = in.data(), *outPointer = out.data();
    std::size_t inLeft = in.size(), outLeft = out.size();
    const std::size_t done = iconv(conversion, &inPointer, &inLeft, &outPointer, &outLeft);
    iconv_close(conversion);
    if (done == std::size_t(-1)) return std::nullopt;
    return QString::fromUtf8(out.constData(), out.size() - qsizetype(outLeft));
}

QString windows1252(const QByteArray &octets) {
    return converted(octets, "CP1252").value_or(QString::fromLatin1(octets));
}

} // namespace

void merge(QList<Condition> &conditions, const Condition &condition) {
    for (Condition &held : conditions) {
        if (held.kind != condition.kind) continue;
        if (held.unit == condition.unit) {
            held.severity = std::max(held.severity, condition.severity);
            return;
        }
        if (condition.unit.isEmpty()) return;
        if (held.unit.isEmpty()) {
            held = condition;
            return;
        }
    }
    conditions.append(condition);
}

QString severityName(Severity severity) {
    switch (severity) {
    case Severity::Notice: return QStringLiteral("notice");
    case Severity::Warning: return QStringLiteral("warning");
    case Severity::Critical: return QStringLiteral("critical");
    }
    return {};
}

std::optional<Severity> severityNamed(const QString &name) {
    for (const Severity severity : {Severity::Notice, Severity::Warning, Severity::Critical})
        if (name.trimmed().compare(severityName(severity), Qt::CaseInsensitive) == 0) return severity;
    return std::nullopt;
}

bool isTonerKind(const QString &kind) { return kind == u"tonerLow" || kind == u"tonerEmpty"; }

QStringList errorBitNames(const QByteArray &octets) {
    QStringList names;
    for (int bit = 0; bit < octets.size() * 8; ++bit)
        if (bitSet(octets, bit))
            names << (bit < BitCount ? QString::fromLatin1(BitNames[bit]) : QStringLiteral("bit %1").arg(bit));
    return names;
}

QString deviceStatusName(int status) {
    static const QStringList names = {{}, "unknown", "running", "warning", "testing", "down"};
    return status > 0 && status < names.size() ? names[status] : QString();
}

QString printerStatusName(int status) {
    static const QStringList names = {{}, "other", "unknown", "idle", "printing", "warmup"};
    return status > 0 && status < names.size() ? names[status] : QString();
}

QString alertSeverityName(int severity) {
    static const QStringList names = {{}, "other", {}, "critical", "warning", "warningBinaryChangeEvent"};
    return severity > 0 && severity < names.size() ? names[severity] : QString();
}

QString trainingLevelName(int level) {
    static const QStringList names = {{},          "other",         "unknown",    "untrained",
                                      "trained",   "fieldService",  "management", "noInterventionRequired"};
    return level > 0 && level < names.size() ? names[level] : QString();
}

QString alertGroupName(int group) {
    static const QMap<int, QString> names = {
        {1, "other"},         {3, "hostResourcesMIBStorageTable"}, {4, "hostResourcesMIBDeviceTable"},
        {5, "generalPrinter"}, {6, "cover"},       {7, "localization"},  {8, "input"},     {9, "output"},
        {10, "marker"},       {11, "markerSupplies"}, {12, "markerColorant"}, {13, "mediaPath"}, {14, "channel"},
        {15, "interpreter"},  {16, "consoleDisplayBuffer"}, {17, "consoleLights"}, {18, "alert"},
        {30, "finDevice"},    {31, "finSupply"},   {32, "finSupplyMediaInput"}, {33, "finAttribute"}};
    return names.value(group);
}

QString alertCodeName(int code) {
    static const QMap<int, QString> names = {
        {1, "other"}, {2, "unknown"}, {3, "coverOpen"}, {4, "coverClosed"}, {5, "interlockOpen"},
        {6, "interlockClosed"}, {7, "configurationChange"}, {8, "jam"}, {9, "subunitMissing"},
        {10, "subunitLifeAlmostOver"}, {11, "subunitLifeOver"}, {12, "subunitAlmostEmpty"}, {13, "subunitEmpty"},
        {14, "subunitAlmostFull"}, {15, "subunitFull"}, {16, "subunitNearLimit"}, {17, "subunitAtLimit"},
        {18, "subunitOpened"}, {19, "subunitClosed"}, {20, "subunitTurnedOn"}, {21, "subunitTurnedOff"},
        {22, "subunitOffline"}, {23, "subunitPowerSaver"}, {24, "subunitWarmingUp"}, {25, "subunitAdded"},
        {26, "subunitRemoved"}, {27, "subunitResourceAdded"}, {28, "subunitResourceRemoved"},
        {29, "subunitRecoverableFailure"}, {30, "subunitUnrecoverableFailure"},
        {31, "subunitRecoverableStorageError"}, {32, "subunitUnrecoverableStorageError"},
        {33, "subunitMotorFailure"}, {34, "subunitMemoryExhausted"}, {35, "subunitUnderTemperature"},
        {36, "subunitOverTemperature"}, {37, "subunitTimingFailure"}, {38, "subunitThermistorFailure"},
        {501, "doorOpen"}, {502, "doorClosed"}, {503, "powerUp"}, {504, "powerDown"}, {505, "printerNMSReset"},
        {506, "printerManualReset"}, {507, "printerReadyToPrint"}, {801, "inputMediaTrayMissing"},
        {802, "inputMediaSizeChange"}, {803, "inputMediaWeightChange"}, {804, "inputMediaTypeChange"},
        {805, "inputMediaColorChange"}, {806, "inputMediaFormPartsChange"}, {807, "inputMediaSupplyLow"},
        {808, "inputMediaSupplyEmpty"}, {809, "inputMediaChangeRequest"}, {810, "inputManualInputRequest"},
        {811, "inputTrayPositionFailure"}, {812, "inputTrayElevationFailure"}, {813, "inputCannotFeedSizeSelected"},
        {901, "outputMediaTrayMissing"}, {902, "outputMediaTrayAlmostFull"}, {903, "outputMediaTrayFull"},
        {904, "outputMailboxSelectFailure"}, {1001, "markerFuserUnderTemperature"},
        {1002, "markerFuserOverTemperature"}, {1003, "markerFuserTimingFailure"},
        {1004, "markerFuserThermistorFailure"}, {1005, "markerAdjustingPrintQuality"}, {1101, "markerTonerEmpty"},
        {1102, "markerInkEmpty"}, {1103, "markerPrintRibbonEmpty"}, {1104, "markerTonerAlmostEmpty"},
        {1105, "markerInkAlmostEmpty"}, {1106, "markerPrintRibbonAlmostEmpty"},
        {1107, "markerWasteTonerReceptacleAlmostFull"}, {1108, "markerWasteInkReceptacleAlmostFull"},
        {1109, "markerWasteTonerReceptacleFull"}, {1110, "markerWasteInkReceptacleFull"},
        {1111, "markerOpcLifeAlmostOver"}, {1112, "markerOpcLifeOver"}, {1113, "markerDeveloperAlmostEmpty"},
        {1114, "markerDeveloperEmpty"}, {1115, "markerTonerCartridgeMissing"},
        {1301, "mediaPathMediaTrayMissing"}, {1302, "mediaPathMediaTrayAlmostFull"},
        {1303, "mediaPathMediaTrayFull"}, {1304, "mediaPathCannotDuplexMediaSelected"},
        {1501, "interpreterMemoryIncrease"}, {1502, "interpreterMemoryDecrease"},
        {1503, "interpreterCartridgeAdded"}, {1504, "interpreterCartridgeDeleted"},
        {1505, "interpreterResourceAdded"}, {1506, "interpreterResourceDeleted"},
        {1507, "interpreterResourceUnavailable"}, {1509, "interpreterComplexPageEncountered"},
        {1801, "alertRemovalOfBinaryChangeEntry"}};
    return names.value(code);
}

QList<Condition> conditionsOf(const Signals &observed) {
    QList<Condition> conditions;
    if (!observed.answered) return conditions;
    constexpr int Idle = 3, Warmup = 5;
    const bool sleeping = observed.printerStatus == Idle || observed.printerStatus == Warmup ||
                          std::any_of(observed.alerts.begin(), observed.alerts.end(),
                                      [](const AlertRow &row) { return row.code == 23 || row.code == 24; });
    for (const AlertRow &row : observed.alerts) {
        if (leftOut(row, observed, sleeping)) continue;
        if (const Kind *kind = kindOfAlert(row.code, row.group)) {
            merge(conditions, conditionOf(*kind, unitOf(row), true));
            continue;
        }
        const QString description = row.description.trimmed();
        const QString unit = unitOf(row);
        QString text = description.isEmpty() ? QStringLiteral("Alert code %1").arg(row.code) : description;
        if (!unit.isEmpty()) text += QStringLiteral(": ") + unit;
        merge(conditions, {QStringLiteral("alert%1").arg(row.code), unit, Severity::Notice, text, true});
    }
    if (observed.errorState)
        for (int bit = 0; bit < BitCount; ++bit)
            if (bitSet(*observed.errorState, bit))
                if (const Kind *kind = kindOfBit(bit)) merge(conditions, conditionOf(*kind, {}, false));
    std::stable_sort(conditions.begin(), conditions.end(),
                     [](const Condition &a, const Condition &b) { return a.severity > b.severity; });
    return conditions;
}

QString panelText(const QByteArray &octets, int mibEnum) {
    const QByteArray charset = charsetName(mibEnum);
    std::optional<QString> text = charset.isEmpty() ? std::nullopt : converted(octets, charset);
    if (!text) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString decoded = utf8(octets);
        text = utf8.hasError() ? windows1252(octets) : decoded;
    }
    text->remove(QChar(u'\0'));
    qsizetype end = text->size();
    while (end > 0 && text->at(end - 1).isSpace()) --end;
    return text->left(end);
}

} // namespace reading::conditions
