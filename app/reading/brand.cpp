#include "brand.h"

#include "oidreader.h"
#include "printermib.h"
#include "store/log.h"

#include <utility>

namespace reading {

short brandOfDescription(const QString &sysDescr) {
    static const std::pair<const char *, Brand> keys[] = {
        {"BRO", Brother}, {"HP ", Hp},    {"OKI", Oki},    {"RIC", Ricoh},   {"NAS", Ricoh},
        {"NRG", Ricoh},   {"INF", Ricoh}, {"LAN", Ricoh},  {"SAV", Ricoh},   {"GES", Ricoh},
        {"KYO", Kyocera}};
    // Only blanks are trimmed: a description that starts with a tab or a line break is not recognised.
    qsizetype first = 0, end = sysDescr.size();
    while (first < end && sysDescr[first] == u' ') ++first;
    while (end > first && sysDescr[end - 1] == u' ') --end;
    const QString key = sysDescr.mid(first, end - first).left(3).toUpper();
    for (const auto &[text, brand] : keys)
        if (key == QLatin1String(text)) return brand;
    return Unknown;
}

short GetCodeBrand(const QString &host, QString &sysDescr) {
    sysDescr = GetOID(host, printermib::SysDescr);
    const short brand = brandOfDescription(sysDescr);
    if (brand == Unknown) store::WriteLog(QStringLiteral("GetCodeBrand ") + sysDescr);
    return brand;
}

short readingRules(short brand, const QString &sysDescr) {
    const bool ownRules = brand != Kyocera && brand != Unknown;
    if (ownRules || sysDescr == ReadFailed || !printermib::enabled()) return brand;
    return StandardPrinter;
}

QString brotherIdentity(const QString &host) {
    const QString identity = GetOID(host, QStringLiteral("1.3.6.1.4.1.2435.2.3.9.4.2.1.5.5.1.0"));
    if (!identity.isEmpty() && identity != ReadFailed) return identity;
    return GetOID(host, printermib::SerialNumber);
}

QString GetSerialByBrand(const QString &host) {
    QString sysDescr;
    const short brand = GetCodeBrand(host, sysDescr);
    // The identity the reading checks and the key point search stores, so that the service can match the
    // announcement to the readings; with the standard Printer MIB readings off, BROTHER and KYOCERA send none.
    switch (readingRules(brand, sysDescr)) {
    case Ricoh: return GetOID(host, QStringLiteral("1.3.6.1.4.1.367.3.2.1.2.1.4.0"));
    case Oki: return GetOID(host, QStringLiteral("1.3.6.1.4.1.2001.1.1.1.1.11.1.10.45.0"));
    case Hp:
    case StandardPrinter: return GetOID(host, printermib::SerialNumber);
    case Brother: return printermib::enabled() ? brotherIdentity(host) : QString();
    case Kyocera: return {};
    default: return QStringLiteral("unknow");
    }
}

} // namespace reading
