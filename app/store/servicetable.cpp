#include "servicetable.h"

#include "store/globals.h"

namespace store {
namespace {

// A reserved name that never resolves: an installation nobody pointed at its service sends nothing anywhere.
constexpr const char *BuiltInServiceRoot = "https://meter.yonderlook.example";

// Identifier and folder of each vendor under the service root; the first eight portals take the token.
struct Vendor {
    const char *id;
    const char *folder;
};
constexpr std::array<Vendor, 10> Vendors = {{{"YLK", "ylk"},
                                             {"BUROTEC", "burotec"},
                                             {"COPIAR", "copiar"},
                                             {"DOCUPRINT", "docuprint"},
                                             {"ESTRELLA", "estrella"},
                                             {"FOTOCOP", "fotocop"},
                                             {"GRAFIKA", "grafika"},
                                             {"IMPRESA", "impresa"},
                                             {"JUNOPRINT", "junoprint"},
                                             {"KOPIERHAUS", "kopierhaus"}}};
constexpr int PortalsWithToken = 8;

} // namespace

QString serviceRoot() {
    QString root = qEnvironmentVariable("METERLANE_SERVICE_URL");
    if (root.isEmpty()) root = store::globals().serviceRoot;
    if (root.isEmpty()) root = QString::fromLatin1(BuiltInServiceRoot);
    while (root.endsWith(QLatin1Char('/'))) root.chop(1);
    return root;
}

QList<VendorAddresses> vendorTable() {
    const QString root = serviceRoot();
    QList<VendorAddresses> table;
    for (std::size_t i = 0; i < Vendors.size(); ++i) {
        const QString base = root + QLatin1Char('/') + QLatin1String(Vendors[i].folder);
        const bool takesToken = static_cast<int>(i) < PortalsWithToken;
        table.append({QLatin1String(Vendors[i].id), base + QStringLiteral("/meter/upload?d="),
                      base + QStringLiteral("/meter/pips?cid="), base + QStringLiteral("/meter/announce?d="),
                      base + QStringLiteral("/portal/start?d="),
                      base + (takesToken ? QStringLiteral("/portal/customer?t=") : QStringLiteral("/portal/")),
                      takesToken});
    }
    return table;
}

QString defaultDownloadAddress() { return serviceRoot() + QStringLiteral("/meter/pips?cid="); }

std::optional<VendorAddresses> findVendor(const QString &vendorId) {
    for (const VendorAddresses &entry : vendorTable())
        if (entry.vendorId == vendorId) return entry;
    return std::nullopt;
}

} // namespace store
