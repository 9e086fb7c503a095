#include "printerinfo.h"

#include "brand.h"
#include "faultrule.h"
#include "keypoint.h"
#include "oidreader.h"
#include "platform/fault.h"
#include "platform/window.h"
#include "countermaps.h"
#include "printermib.h"
#include "printervalues.h"
#include "store/config.h"
#include "store/globals.h"
#include "store/servicetable.h"
#include "supplyread.h"

#include <QStringList>

#include <algorithm>
#include <array>
#include <cmath>
#include <initializer_list>
#include <limits>

namespace reading {
namespace {

using printermib::Cartridges;

// Where each maker keeps the values one reading takes.
struct BrandOids {
    QString model, identity, slotOne, counterPrefix, tonerNames, tonerLevels;
};

BrandOids oidsOf(short brand) {
    switch (brand) {
    case Ricoh:
        return {QStringLiteral("1.3.6.1.4.1.367.3.2.1.1.1.1.0"), QStringLiteral("1.3.6.1.4.1.367.3.2.1.2.1.4.0"),
                QStringLiteral("1.3.6.1.4.1.367.3.2.1.2.19.1.0"), QStringLiteral("1.3.6.1.4.1.367.3.2.1.2.19.5.1.9."),
                QStringLiteral("1.3.6.1.4.1.367.3.2.1.2.24.1.1.2."), QStringLiteral("1.3.6.1.4.1.367.3.2.1.2.24.1.1.5.")};
    case Oki:
        return {printermib::DeviceDescription, QStringLiteral("1.3.6.1.4.1.2001.1.1.1.1.11.1.10.45.0"),
                {}, {}, QStringLiteral("1.3.6.1.4.1.2001.1.1.1.1.100.3.1.1.2."),
                QStringLiteral("1.3.6.1.4.1.2001.1.1.1.1.100.3.1.1.3.")};
    case Hp: return {QStringLiteral("1.3.6.1.2.1.43.14.1.1.9.1.7"), printermib::SerialNumber, {}, {}, {}, {}};
    case Brother: return {printermib::DeviceDescription, {}, {}, {}, {}, {}}; // the identity: brotherIdentity
    case StandardPrinter: return {printermib::DeviceDescription, printermib::SerialNumber, {}, {}, {}, {}};
    default: return {};
    }
}

// Field k (1 to 26) of the key point; a missing field faults.
QString fieldAt(const QStringList &fields, int slot) {
    if (slot > fields.size()) throw platform::Fault(9, QStringLiteral("Subscript out of range"));
    return fields[slot - 1];
}

// Whether a key point field names a counter to read: a number other than 0 (a RICOH row), or a text that is no number
// (a whole OID). The number test faults on such a text, as it always has, unless quietOids: a counter map fills many
// slots with OIDs, and each fault would count towards the ten that end the reading.
bool namesCounter(const QString &field, bool quietOids) {
    bool isNumber = false;
    const double n = field.toDouble(&isNumber);
    if (isNumber) return n != 0;
    if (quietOids) return true;
    throw platform::Fault(13, QStringLiteral("Type mismatch"));
}

// A key point field's counter as text: a packed record or a sum of rows through the reading's own values (each OID
// read once however many fields name it; ReadFailed where it gives no number), any other field read at the brand's
// counter prefix.
QString readField(const QString &field, const QString &address, const QString &prefix, PrinterValues &values) {
    if (!countermaps::packedRecord(field) && !countermaps::rowSum(field)) return GetOID(address, prefix + field);
    const auto answer = values.counter(field);
    return answer ? answer->value : ReadFailed;
}

// A value as a counter slot holds it, signed 32 bits; beyond that the step faults and the slot keeps its value.
qint32 slotValue(double n) {
    if (!(n >= std::numeric_limits<qint32>::min() && n <= std::numeric_limits<qint32>::max()))
        throw platform::Fault(6, QStringLiteral("Overflow"));
    return static_cast<qint32>(n);
}

// A sum of counters as 32-bit arithmetic takes it, term by term.
qint32 slotSum(std::initializer_list<qint32> terms) {
    qint32 sum = 0;
    for (const qint32 term : terms) sum = slotValue(double(sum) + term);
    return sum;
}

// A text taken as a whole number where the reading needs one (slot 1 as the black-and-white total).
qint32 wholeNumber(const QString &text) {
    bool isNumber = false;
    const double n = text.trimmed().toDouble(&isNumber);
    if (!isNumber || !std::isfinite(n)) throw platform::Fault(13, QStringLiteral("Type mismatch"));
    return slotValue(std::nearbyint(n));
}

// The machine total as the black-and-white total, where no black-and-white counter gave one. A counter map's machine
// total (prtMarkerLifeCount) holds the colour pages too: they are left out, never counted twice.
qint32 machineTotalAsBlackAndWhite(const QString &slotOne, qint32 colour, bool mapped) {
    const qint32 total = wholeNumber(slotOne);
    return mapped && colour > 0 ? std::max(0, slotSum({total, -colour})) : total;
}

// Everything one reading gathers.
struct Gathered {
    QString model, identity, slotOne;
    std::array<qint32, CounterSlots + 1> counters{}; // slots 2 to 26 by number
    std::array<QString, Cartridges> levels;          // as they go into the record
    QString tonerWarning;
    int notifySwitch = 0;
};

bool readsAsNothing(const QString &value) { return value.isEmpty() || value == ReadFailed; }

// Model and identity by the brand's rules; with the Printer MIB readings on, an HP without its model OID gives its
// Host Resources device description instead.
void readModelAndIdentity(short brand, const BrandOids &oids, const QString &address, bool printerMib,
                          Gathered &found) {
    if (oids.model.isEmpty()) return;
    found.model = GetOID(address, oids.model);
    if (brand == Hp) {
        found.model.remove(QStringLiteral("Name="));
        if (printerMib && readsAsNothing(found.model))
            found.model = GetOID(address, printermib::DeviceDescription);
    }
    found.identity = brand == Brother ? brotherIdentity(address) : GetOID(address, oids.identity);
}

} // namespace

ModelAndIdentity readModelAndIdentity(short rules, const QString &address) {
    Gathered found;
    readModelAndIdentity(rules, oidsOf(rules), address, printermib::enabled(), found);
    return {found.model, found.identity};
}

namespace {

bool answersNothing(const QList<printermib::Cartridge> &cartridges) {
    return std::all_of(cartridges.begin(), cartridges.end(), [](const printermib::Cartridge &cartridge) {
        return readsAsNothing(cartridge.name) && readsAsNothing(cartridge.level);
    });
}

// Cartridges 1 to 4 as read: from the brand's own toner table, from the Printer MIB supplies table while those
// readings are on (HP, BROTHER and standard printers, and a RICOH or OKI whose own toner OIDs all answer nothing),
// or none at all.
QList<printermib::Cartridge> readCartridges(short brand, const BrandOids &oids, const QString &address,
                                            bool printerMib) {
    if (!oids.tonerNames.isEmpty()) {
        QList<printermib::Cartridge> cartridges;
        for (int i = 1; i <= Cartridges; ++i)
            cartridges.append({GetOID(address, oids.tonerNames + QString::number(i)),
                               GetOID(address, oids.tonerLevels + QString::number(i))});
        return printerMib && answersNothing(cartridges) ? printermib::readCartridges(address) : cartridges;
    }
    if (printerMib && (brand == Hp || brand == Brother || brand == StandardPrinter))
        return printermib::readCartridges(address);
    return {};
}

void appendWarning(QString &warning, const QString &entry) {
    if (!warning.isEmpty()) warning += QStringLiteral("\r\n");
    warning += entry;
}

// One cartridge: its level as the record carries it, and its line of the warning when it runs low.
void evaluateCartridge(const QString &name, const QString &level, int threshold, Gathered &found, int index) {
    if (level.size() >= 5 || name.isEmpty()) { // a failed read (-10000) or no cartridge
        found.levels[index] = QStringLiteral("100");
        return;
    }
    found.levels[index] = level;
    const double value = store::leadingNumber(level);
    if (value == 0) appendWarning(found.tonerWarning, name + QStringLiteral(" Empty!!!"));
    else if (value == -2 || value == -3) return;
    else if (value == -100) appendWarning(found.tonerWarning, name + QStringLiteral(" < 20%"));
    else if (value > 0 && value <= threshold) appendWarning(found.tonerWarning, name + QStringLiteral(" = ") + level + u'%');
}

// Each counter uploads as its slot's constant minus the counter; one that would leave 32 bits faults and stays.
bool applyOffsets(FaultRule &rule, Gathered &found) {
    for (int slot = store::FirstOffsetSlot; slot <= CounterSlots; ++slot) {
        qint32 &counter = found.counters[slot];
        const qint32 key = store::UploadOffsetKey[slot - store::FirstOffsetSlot];
        if (!rule.run([&] { counter = slotValue(double(key) - counter); })) return false;
    }
    return true;
}

QString composeRecord(const QString &address, const Gathered &found) {
    QStringList fields{address, found.model, found.identity};
    const auto counter = [&](int slot) { return QString::number(found.counters[slot]); };
    for (int slot = 2; slot <= 8; ++slot) fields << counter(slot);
    for (const QString &level : found.levels) fields << level;
    for (int slot = 9; slot <= CounterSlots; ++slot) fields << counter(slot);
    fields << store::globals().vendorId;
    return fields.join(QLatin1Char(';'));
}

} // namespace

qint32 TextToLong(const QString &text) {
    const double rounded = std::nearbyint(store::leadingNumber(text));
    if (!(rounded >= std::numeric_limits<qint32>::min() && rounded <= std::numeric_limits<qint32>::max())) return -1;
    return static_cast<qint32>(rounded);
}

PrinterReading readPrinter(short brand, const QString &storedHost, const QString &address, const QString &description,
                           const QString &keyPoint, const QString &storedIdentity) {
    PrinterReading out;
    Gathered found;
    const BrandOids oids = oidsOf(brand);
    platform::Window &window = platform::window();
    FaultRule rule(QStringLiteral("errgetPrinterInfo"));
    const auto finish = [&] {
        out.model = found.model;
        out.identity = found.identity;
        out.tonerWarning = found.tonerWarning;
        return out;
    };

    if (!rule.run([&] { window.setStatus(QStringLiteral("Reading ") + address); })) return finish();
    const QStringList fields = keyPoint.isEmpty() ? QStringList() : keyPoint.split(QLatin1Char(','));
    const bool printerMib = printermib::enabled(), mapped = usesCounterMaps(brand);
    readModelAndIdentity(brand, oids, address, printerMib, found);
    if (!oids.slotOne.isEmpty()) found.slotOne = GetOID(address, oids.slotOne);
    if (storedIdentity != found.identity) {
        out.record = QStringLiteral("-2");
        return finish();
    }
    // A RICOH whose machine total cannot be read counts its pages by the Printer MIB's life count instead.
    if (printerMib && !oids.slotOne.isEmpty() && readsAsNothing(found.slotOne))
        found.slotOne = GetOID(address, printermib::MarkerLifeCount);

    PrinterValues values(address);
    for (int slot = 1; slot <= CounterSlots; ++slot) {
        bool named = true; // after a failed number test the field is read
        if (!rule.run([&] { named = namesCounter(fieldAt(fields, slot), printerMib); })) return finish();
        if (!named) continue;
        if (!rule.run([&] {
                const QString text = readField(fieldAt(fields, slot), address, oids.counterPrefix, values);
                if (slot == 1) found.slotOne = text;
                else found.counters[slot] = TextToLong(text);
            }))
            return finish();
    }

    auto &c = found.counters;
    if (!rule.run({[&] { if (c[3] == 0) c[3] = slotSum({c[5], c[7]}); },
                   [&] { if (c[2] == 0) c[2] = slotSum({c[4], c[6], c[8]}); },
                   [&] { if (c[2] == 0) c[2] = machineTotalAsBlackAndWhite(found.slotOne, c[3], mapped); }}))
        return finish();

    const QString ini = store::globals().iniFile;
    const int threshold = tonerLowPercent();
    found.notifySwitch = store::settingNumber(ini, QStringLiteral("Settings"), QStringLiteral("TonerLowNotNotify"));
    if (threshold > 0) {
        const QList<printermib::Cartridge> cartridges = readCartridges(brand, oids, address, printerMib);
        for (int i = 0; i < Cartridges; ++i) {
            const printermib::Cartridge none; // no name: "100", no warning
            const printermib::Cartridge &cartridge = i < cartridges.size() ? cartridges[i] : none;
            evaluateCartridge(cartridge.name, cartridge.level, threshold, found, i);
        }
    }

    out.counters = c;
    out.totalBW = QString::number(c[2]);
    out.totalColour = QString::number(c[3]);
    if (!rule.run([&] {
            window.updatePipRow(storedHost, found.model, found.identity, out.totalBW, out.totalColour,
                                found.tonerWarning);
        }))
        return finish();
    if (!applyOffsets(rule, found)) return finish();
    out.record = composeRecord(address, found);
    if (!found.tonerWarning.isEmpty())
        rule.run([&] { window.notifyTonerLow(found.notifySwitch == 0, found.model, description, found.tonerWarning); });
    return finish();
}

QString getPrinterInfo(short brand, const QString &storedHost, const QString &address, const QString &description,
                       const QString &keyPoint, const QString &storedIdentity) {
    return readPrinter(brand, storedHost, address, description, keyPoint, storedIdentity).record;
}

} // namespace reading
