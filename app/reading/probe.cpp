#include "probe.h"

#include "brand.h"
#include "platform/hostresolution.h"
#include "oidreader.h"

#include <QStringList>

namespace reading {
namespace {

struct ProbeOids {
    QString name, model, identity, counter;
    QStringList modelNoise; // removed from the model text, in order, matching letter case
};

const ProbeOids *probeOidsOf(short brand) {
    static const QString printerMibModel = QStringLiteral("1.3.6.1.2.1.43.14.1.1.9.1.7");
    static const QString printerMibIdentity = QStringLiteral("1.3.6.1.2.1.43.5.1.1.17.1");
    static const QString printerMibCounter = QStringLiteral("1.3.6.1.2.1.43.10.2.1.4.1.1");
    static const ProbeOids table[] = {
        {QStringLiteral("RICOH"), QStringLiteral("1.3.6.1.4.1.367.3.2.1.1.1.1.0"),
         QStringLiteral("1.3.6.1.4.1.367.3.2.1.2.1.4.0"), QStringLiteral("1.3.6.1.4.1.367.3.2.1.2.19.1.0"), {}},
        {QStringLiteral("OKI"), QStringLiteral("1.3.6.1.4.1.2001.1.1.1.1.11.1.10.30.0"),
         QStringLiteral("1.3.6.1.4.1.2001.1.1.1.1.11.1.10.45.0"),
         QStringLiteral("1.3.6.1.4.1.2001.1.1.1.1.11.1.10.130.0"), {}},
        {QStringLiteral("HP "), printerMibModel, printerMibIdentity, printerMibCounter, {QStringLiteral("Name=")}},
        {QStringLiteral("BROTHER"), QStringLiteral("1.3.6.1.2.1.25.3.2.1.3.1"), printerMibIdentity, printerMibCounter,
         {QStringLiteral("Brother "), QStringLiteral(" series")}},
        {QStringLiteral("KYOCERA"), printerMibModel, printerMibIdentity, printerMibCounter, {QStringLiteral("Name=")}},
    };
    return brand >= Ricoh && brand <= Kyocera ? &table[brand] : nullptr;
}

} // namespace

ProbeLabels ProbeSelectedPrinter(const QString &host, const QString &rowTonerWarning) {
    ProbeLabels labels;
    if (host.isEmpty()) return labels;
    const QString address = platform::ResolveHost(host);
    if (address.isEmpty()) {
        labels.status = QStringLiteral("PIP error: ") + host + u'>';
        return labels;
    }
    QString sysDescr;
    const short brand = GetCodeBrand(address, sysDescr);
    const ProbeOids *oids = probeOidsOf(brand);
    if (!oids) {
        if (brand == Unknown) labels.brand = QStringLiteral("unknow");
        return labels;
    }
    labels.brand = oids->name;
    labels.brandTip = sysDescr;
    labels.model = GetOID(address, oids->model);
    for (const QString &noise : oids->modelNoise) labels.model.remove(noise);
    labels.identity = GetOID(address, oids->identity);
    labels.counter = GetOID(address, oids->counter);
    labels.message = rowTonerWarning;
    return labels;
}

} // namespace reading
