// A printer's packed counter string, as any agent may send it: the records read are whole records of the string, each
// code once, and the string without its last byte reads no record that the whole string lacks.
#include "check.h"
#include "reading/printervalues.h"

#include <cstdint>

using fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const auto records = reading::packedRecords(bytes);
    if (!records) return 0;
    check(records->size() * 3 <= bytes.size());
    for (auto record = records->cbegin(); record != records->cend(); ++record)
        check(record.key() >= 0 && record.key() <= 0xFF);
    // A record cut short ends the records: the string without its last byte reads no record that the whole lacks.
    if (const auto shorter = reading::packedRecords(bytes.chopped(bytes.isEmpty() ? 0 : 1)))
        for (auto record = shorter->cbegin(); record != shorter->cend(); ++record) check(records->contains(record.key()));
    return 0;
}
