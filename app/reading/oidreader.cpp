#include "oidreader.h"

#include "faultrule.h"
#include "platform/componentfactory.h"
#include "platform/eventpump.h"
#include "store/log.h"

namespace reading {

QString GetOID(const QString &host, const QString &oid) {
    QString current;
    platform::ComponentObject session;
    FaultRule rule(QStringLiteral("errGetOID"), [&] { return current; });
    const bool finished = rule.run({
        [&] { session = platform::CreateObject(QStringLiteral("quorrel.SnmpV1")); },
        [&] { session.set(QStringLiteral("Agent"), host); },
        [&] { session.set(QStringLiteral("CommStr"), QStringLiteral("public")); },
        [&] { session.set(QStringLiteral("TimeOut"), 1000); },
        [&] { session.set(QStringLiteral("Retry"), 2); },
        [&] { current = session.call(QStringLiteral("SnmpMgrOpen")).toString(); },
        [&] { platform::pumpEvents(); },
        [&] {
            if (current != QLatin1String("Successful")) return;
            platform::pumpEvents();
            current = session.call(QStringLiteral("SnmpGet"), {oid}).toString();
        },
        [&] { session.call(QStringLiteral("SnmpMgrClose")); },
    });
    if (!finished) return {};
    session = {};
    if (current.startsWith(QLatin1String("[Vantobe"))) {
        store::WriteLog(QStringLiteral("errGetOID varOID ") + oid + QStringLiteral(" OID ") + current);
        return ReadFailed;
    }
    return current;
}

} // namespace reading
