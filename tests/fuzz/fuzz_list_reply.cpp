// The service's printer list as the program takes it: a reply (its Content-Type value on the first line, then the
// page's bytes), its text as a browser shows it, its records.
#include "store/pips.h"
#include "upload/download.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, std::size_t size) {
    const QByteArray input(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const qsizetype lineEnd = input.indexOf('\n');
    const QByteArray contentType = lineEnd < 0 ? QByteArray() : input.left(lineEnd);
    const QString text = upload::pageText(input.mid(lineEnd + 1), contentType);
    const auto records = store::parseDownloadedList(text);
    if (!records) return 0;
    int lastSlot = 0;
    for (const store::DownloadedRecord &record : *records) {
        if (record.slot <= lastSlot || record.host.contains(u'|')) std::abort();
        lastSlot = record.slot;
    }
    return 0;
}
