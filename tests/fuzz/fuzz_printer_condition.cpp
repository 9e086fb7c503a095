// What a printer's condition is made of from outside: the octets of its status and panel objects and alert rows as
// any agent may send them, and the remembered state file as any disk may hold it. The first byte chooses which.
// Decoding never fails on them; conditions are each of one key; the state file reads back as it was written.
#include "check.h"
#include "reading/conditions.h"
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

void stateFrom(const QByteArray &bytes) {
    const QByteArray written = store::conditionStatesJson(store::parseConditionStates(bytes));
    check(store::conditionStatesJson(store::parseConditionStates(written)) == written);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size == 0) return 0;
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), static_cast<qsizetype>(size - 1));
    if (data[0] % 2) signalsFrom(bytes);
    else stateFrom(bytes);
    return 0;
}
