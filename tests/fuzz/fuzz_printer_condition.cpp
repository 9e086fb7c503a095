// What a printer's condition is made of from outside: the octets of its status and panel objects and alert rows as
// any agent may send them, its supplies rows likewise, and the remembered state file as any disk may hold it. The
// first byte chooses which. Decoding never fails on them; conditions are each of one key; a level is a percent from
// 0 to 100 or none, in a state of its class; the state file reads back as it was written.
#include "check.h"
#include "reading/conditions.h"
#include "reading/supplies.h"
#include "store/conditionstate.h"

#include <QSet>

#include <cstdint>

using fuzz::check;
using namespace reading::conditions;

namespace {

int numberAt(const QByteArray &bytes, qsizetype at) {
    return at + 1 < bytes.size() ? (static_cast<unsigned char>(bytes[at]) << 8 | static_cast<unsigned char>(bytes[at + 1])) - 256
                                 : 0;
}

void signalsFrom(const QByteArray &bytes) {
    Signals read;
    read.answered = true;
    read.printerStatus = numberAt(bytes, 0);
    read.upTime = quint32(numberAt(bytes, 2)) * 1000u;
    read.errorState = bytes.left(4);
    for (qsizetype at = 4; at + 12 <= bytes.size() && read.alerts.size() < 64; at += 12) {
        AlertRow row;
        row.severity = numberAt(bytes, at);
        row.group = numberAt(bytes, at + 2);
        row.groupIndex = numberAt(bytes, at + 4);
        row.code = numberAt(bytes, at + 6) * 8;
        row.time = quint32(numberAt(bytes, at + 8));
        row.description = QString::fromLatin1(bytes.mid(at + 10, 2));
        read.alerts << row;
    }
    QSet<QString> keys;
    for (const Condition &condition : conditionsOf(read)) {
        check(!condition.text.isEmpty());
        check(!keys.contains(condition.key()));
        keys.insert(condition.key());
    }
    errorBitNames(bytes);
    const QString panel = panelText(bytes.mid(2), numberAt(bytes, 0) + 256);
    check(panel.isEmpty() || !panel.back().isSpace());
}

void suppliesFrom(const QByteArray &bytes) {
    namespace supplies = reading::supplies;
    QList<supplies::Supply> read;
    const QMap<int, QString> colorants = {{1, QString::fromLatin1(bytes.left(6))}};
    for (qsizetype at = 0; at + 16 <= bytes.size() && read.size() < 64; at += 16) {
        supplies::Row row;
        row.index = numberAt(bytes, at);
        row.colorantIndex = numberAt(bytes, at + 2) % 3;
        row.supplyClass = numberAt(bytes, at + 4);
        row.type = numberAt(bytes, at + 6);
        row.unit = numberAt(bytes, at + 8);
        row.maxCapacity = numberAt(bytes, at + 10) * 1000;
        row.level = numberAt(bytes, at + 12) * 100;
        row.description = bytes.mid(at + 14, 2 + (at % 7));
        const supplies::Supply supply = supplies::supplyOf(row, colorants, numberAt(bytes, 0) % 100, 10);
        check(!supply.fill.percent || (*supply.fill.percent >= 0 && *supply.fill.percent <= 100));
        const QStringList consumedOnly = {supplies::Empty, supplies::Low}, receptacleOnly = {supplies::Full,
                                                                                             supplies::NearlyFull};
        check(!(supply.receptacle ? consumedOnly : receptacleOnly).contains(supply.fill.state));
        check(!supply.fill.state.isEmpty() && !supply.name().isEmpty());
        read << supply;
    }
    Signals signalsRead;
    signalsRead.answered = true;
    signalsRead.errorState = bytes.left(2);
    QSet<QString> keys;
    for (const Condition &condition : supplies::merged(conditionsOf(signalsRead), supplies::conditionsOf(read))) {
        check(!condition.text.isEmpty());
        check(!keys.contains(condition.key()));
        keys.insert(condition.key());
    }
}

void stateFrom(const QByteArray &bytes) {
    const QByteArray written = store::conditionStatesJson(store::parseConditionStates(bytes));
    check(store::conditionStatesJson(store::parseConditionStates(written)) == written);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size == 0) return 0;
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), static_cast<qsizetype>(size - 1));
    switch (data[0] % 3) {
    case 0: stateFrom(bytes); break;
    case 1: signalsFrom(bytes); break;
    case 2: suppliesFrom(bytes); break;
    }
    return 0;
}
