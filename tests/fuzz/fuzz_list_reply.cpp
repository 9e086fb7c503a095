// The service's printer list as the program takes it: a page (any bytes), its text without markup, its records.
#include "store/pips.h"
#include "upload/download.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, std::size_t size) {
    const QString page = QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QString text = upload::pageText(page);
    const auto records = store::parseDownloadedList(text);
    if (!records) return 0;
    int lastSlot = 0;
    for (const store::DownloadedRecord &record : *records) {
        if (record.slot <= lastSlot || record.host.contains(u'|')) std::abort();
        lastSlot = record.slot;
    }
    return 0;
}
