// Values a printer sends that the reading engine takes as numbers: counters and toner levels through the lenient
// leading-number scan, and a supply's level with its maximum ("LEVEL|MAXIMUM").
#include "reading/printerinfo.h"
#include "reading/printermib.h"
#include "store/config.h"

#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    if (std::isnan(store::leadingNumber(text))) std::abort(); // a scan gives a number, at worst an infinite one
    reading::TextToLong(text);
    const qsizetype bar = text.indexOf(u'|');
    const QString level = reading::printermib::levelText(text.left(bar), bar < 0 ? QString() : text.mid(bar + 1));
    bool isNumber = false;
    level.toLongLong(&isNumber);
    if (!isNumber) std::abort(); // a level text is always a whole number
    return 0;
}
