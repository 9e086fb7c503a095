#include "oidreader.h"

#include "faultrule.h"
#include "platform/componentfactory.h"
#include "platform/eventpump.h"
#include "store/log.h"

namespace reading {
namespace {

QString readOid(const QString &host, const QString &oid, bool logAnswer) {
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
        if (logAnswer) store::WriteLog(QStringLiteral("errGetOID varOID ") + oid + QStringLiteral(" OID ") + current);
        return ReadFailed;
    }
    return current;
}

} // namespace

QString GetOID(const QString &host, const QString &oid) { return readOid(host, oid, true); }

QString probeOid(const QString &host, const QString &oid) { return readOid(host, oid, false); }

} // namespace reading
