#include "keypoint.h"

#include "brand.h"
#include "countermaps.h"
#include "faultrule.h"
#include "oidreader.h"
#include "platform/window.h"
#include "printermib.h"

#include <QStringList>

#include <algorithm>

namespace reading {
namespace {

const QString RicohIdentity = QStringLiteral("1.3.6.1.4.1.367.3.2.1.2.1.4.0");
const QString RicohCounterNames = QStringLiteral("1.3.6.1.4.1.367.3.2.1.2.19.5.1.5.");
const QString OkiIdentity = QStringLiteral("1.3.6.1.4.1.2001.1.1.1.1.11.1.10.45.0");

// The counter names of the RICOH counter table, slot by slot.
const QStringList &counterNames() {
    static const QStringList names{
        QStringLiteral("Counter: Machine Total"),
        QStringLiteral("Total Prints: Black & White"),
        QStringLiteral("Total Prints: Color"),
        QStringLiteral("Printer: Black & White"),
        QStringLiteral("Printer: Color"),
        QStringLiteral("Copier: Black & White"),
        QStringLiteral("Copier: Color"),
        QStringLiteral("Fax: Black & White"),
        QStringLiteral("Large Paper Prints: >=A3,DLT"),
        QStringLiteral("No. of Printed Sides in Duplex"),
        QStringLiteral("Coverage: Color"),
        QStringLiteral("Coverage: Black & White"),
        QStringLiteral("Counter:Transmission:Total"),
        QStringLiteral("Counter:Transmission:B&W"),
        QStringLiteral("Counter:Transmission:FAX"),
        QStringLiteral("Counter:Transmission:Color Scan"),
        QStringLiteral("Counter:Transmission:B&W Scan"),
        QStringLiteral("Color Coverage & Distribution 1"),
        QStringLiteral("Color Coverage & Distribution 2"),
        QStringLiteral("Color Coverage & Distribution 3"),
        QStringLiteral("Coverage: Color Print Page"),
        QStringLiteral("Coverage: B & W print Page"),
        QStringLiteral("Coverage: B&W: Copier"),
        QStringLiteral("Coverage: Full Color: Copier"),
        QStringLiteral("Coverage: B&W: Printer"),
        QStringLiteral("Coverage: Full Color: Printer"),
    };
    return names;
}

// Names some models use instead of the main name of slots 4 (print), 6 (copy) and 8 (fax).
struct Alternative {
    int slot;
    QStringList names;
};
const QList<Alternative> &alternatives() {
    static const QList<Alternative> list{
        {4, {QStringLiteral("Counter:Print:Black & White")}},
        {6, {QStringLiteral("Counter:Copy:Black & White")}},
        {8, {QStringLiteral("Counter:Fax:Black & White"), QStringLiteral("Counter:FAX:Black & White")}},
    };
    return list;
}

// Walks rows 1 to 150 of the counter table; the highest row holding a name wins its slot. An alternative name
// fills its slot only when the main name is nowhere in the table.
void walkCounterTable(const QString &host, QStringList &fields, FaultRule &rule, bool &ended) {
    QList<QString> alternativeRows(alternatives().size());
    platform::Window &window = platform::window();
    for (int row = 1; row <= CounterTableRows && !ended; ++row) {
        ended = !rule.run([&] {
            const QString name = GetOID(host, RicohCounterNames + QString::number(row));
            const qsizetype slot = counterNames().indexOf(name);
            if (slot >= 0) fields[slot] = QString::number(row);
            for (qsizetype i = 0; i < alternatives().size(); ++i)
                if (alternatives()[i].names.contains(name)) alternativeRows[i] = QString::number(row);
            window.setProgress(row, CounterTableRows);
        });
    }
    for (qsizetype i = 0; i < alternatives().size(); ++i) {
        QString &field = fields[alternatives()[i].slot - 1];
        if (field == QLatin1String("0") && !alternativeRows[i].isEmpty()) field = alternativeRows[i];
    }
}

} // namespace

bool usesCounterMaps(short rules) {
    return (rules == Hp || rules == Brother || rules == StandardPrinter) && printermib::enabled();
}

QString counterName(int slot) { return counterNames().value(slot - 1); }

bool holdsMapForms(const QString &keyPoint) {
    const QStringList fields = keyPoint.split(u',');
    return std::any_of(fields.begin(), fields.end(), [](const QString &field) {
        return countermaps::packedRecord(field) || countermaps::rowSum(field);
    });
}

QString SearchPrinterKeyPoint(short brand, const QString &host, QString &identity) {
    return searchKeyPoint(brand, host, identity).keyPoint;
}

KeyPointSearch searchKeyPoint(short brand, const QString &host, QString &identity) {
    KeyPointSearch search;
    QStringList fields(CounterSlots, QStringLiteral("0"));
    platform::Window &window = platform::window();
    FaultRule rule(QStringLiteral("errSearchPrinterKeyPoint"));
    bool ended = !rule.run({[&] { window.setStatus(QStringLiteral("Scanning ") + host); },
                            [&] { window.showProgress(); }});
    if (!ended) {
        ended = !rule.run([&] {
            switch (brand) {
            case Oki:
                identity = GetOID(host, OkiIdentity);
                fields[1] = QStringLiteral("1.3.6.1.4.1.2001.1.1.1.1.11.1.10.130.0");
                fields[2] = QStringLiteral("1.3.6.1.4.1.2001.1.1.1.1.11.1.10.140.0");
                break;
            case Hp:
            case StandardPrinter:
                identity = GetOID(host, printermib::SerialNumber);
                fields[1] = printermib::MarkerLifeCount;
                break;
            case Brother:
                identity = brotherIdentity(host);
                fields[1] = printermib::MarkerLifeCount;
                break;
            case Ricoh: identity = GetOID(host, RicohIdentity); break;
            default: break;
            }
        });
    }
    if (!ended && usesCounterMaps(brand))
        ended = !rule.run([&] { search.map = fillFromCounterMap(host, fields); });
    if (!ended && brand == Ricoh) walkCounterTable(host, fields, rule, ended);
    if (ended || !rule.run([&] { window.hideProgress(); })) return {}; // the tenth fault ends the search at once
    search.keyPoint = fields.join(QLatin1Char(','));
    return search;
}

} // namespace reading
