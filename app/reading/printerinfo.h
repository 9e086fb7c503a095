// getPrinterInfo: one reading of a monitored printer: model, identity, counters and toner levels, the list row
// update, the toner-low notification, and the 33-field record text that is uploaded.
#pragma once

#include <QString>

#include <array>

namespace reading {

// The number at the start of a text (blanks skipped; 0 for none), rounded half to even; -1 beyond 32 bits.
qint32 TextToLong(const QString &text);

// What one reading found, before the counters are offset (for the command-line tool).
struct PrinterReading {
    QString record;       // the record text, "-2" for another printer at the address, or what was composed
    QString model;
    QString identity;
    QString totalBW;      // black-and-white and colour totals before offsets
    QString totalColour;
    QString tonerWarning; // one line per cartridge, CR LF between lines
    std::array<qint32, 27> counters{}; // slots 2 to 26 by number, as read, before the upload's offsets
};

// The model and identity of the printer at address as a reading by rules reads them (empty where the rules read
// none).
struct ModelAndIdentity {
    QString model, identity;
};
ModelAndIdentity readModelAndIdentity(short rules, const QString &address);

// The record text; exactly "-2" when the identity read differs from the stored one.
QString getPrinterInfo(short brand, const QString &storedHost, const QString &address, const QString &description,
                       const QString &keyPoint, const QString &storedIdentity);

// The same reading with what it found along the way.
PrinterReading readPrinter(short brand, const QString &storedHost, const QString &address, const QString &description,
                           const QString &keyPoint, const QString &storedIdentity);

} // namespace reading
