#include "oidreader.h"

#include "faultrule.h"
#include "platform/componentfactory.h"
#include "platform/eventpump.h"
#include "store/log.h"

#include <functional>

namespace reading {
namespace {

// One request through a session object of its own: created, pointed at host, opened, asked, closed, released.
// request makes the call on the open session and returns its text.
QString readOid(const QString &host, const QString &oid, bool logAnswer,
                const std::function<QString(platform::ComponentObject &)> &request) {
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
            current = request(session);
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

QString get(platform::ComponentObject &session, const QString &oid) {
    return session.call(QStringLiteral("SnmpGet"), {oid}).toString();
}

} // namespace

QString GetOID(const QString &host, const QString &oid) {
    return readOid(host, oid, true, [&](platform::ComponentObject &session) { return get(session, oid); });
}

QString probeOid(const QString &host, const QString &oid) {
    return readOid(host, oid, false, [&](platform::ComponentObject &session) { return get(session, oid); });
}

QString probeNextOid(const QString &host, const QString &oid, QString &nextOid) {
    nextOid.clear();
    const QString text = readOid(host, oid, false, [&](platform::ComponentObject &session) {
        QList<platform::ComponentArgument> args{{oid, true}};
        const QString value = session.call(QStringLiteral("SnmpGetNext"), args).toString();
        nextOid = args[0].value.toString();
        return value;
    });
    if (text == ReadFailed) nextOid.clear(); // after a failure it holds the last reply's OID, or a message
    return text;
}

} // namespace reading
