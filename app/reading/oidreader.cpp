#include "oidreader.h"

#include "faultrule.h"
#include "platform/componentfactory.h"
#include "platform/eventpump.h"
#include "printermib.h"
#include "profilechoice.h"
#include "store/log.h"

#include <functional>
#include <optional>

namespace reading {
namespace {

using Request = std::function<QString(platform::ComponentObject &)>;

// One request through a session object of its own: created, pointed at host, set up as profile asks (a single try
// when singleTry), opened, asked, closed, released. request makes the call on the open session and returns its text.
// The library's text; nothing when the tenth fault ended the call, or when the session could not be set up as the
// profile asks: it would have asked as another profile does.
std::optional<QString> exchange(const QString &host, const store::SnmpProfile &profile, bool singleTry,
                                const Request &request) {
    QString current;
    bool setUp = false;
    platform::ComponentObject session;
    FaultRule rule(QStringLiteral("errGetOID"), [&] { return current; });
    const bool finished = rule.run({
        [&] { session = platform::CreateObject(QStringLiteral("quorrel.SnmpV1")); },
        [&] { session.set(QStringLiteral("Agent"), host); },
        [&] { session.set(QStringLiteral("CommStr"), profile.community); },
        [&] { session.set(QStringLiteral("TimeOut"), 1000); },
        [&] { session.set(QStringLiteral("Retry"), 2); },
        [&] {
            for (const auto &[member, value] : profileMembers(profile)) session.set(member, value);
            if (singleTry) session.set(QStringLiteral("Retransmit"), 0);
            setUp = true;
        },
        [&] {
            if (setUp) current = session.call(QStringLiteral("SnmpMgrOpen")).toString();
        },
        [&] { platform::pumpEvents(); },
        [&] {
            if (current != QLatin1String("Successful")) return;
            platform::pumpEvents();
            current = request(session);
        },
        [&] { session.call(QStringLiteral("SnmpMgrClose")); },
    });
    if (!finished || !setUp) return std::nullopt;
    return current;
}

bool isFailure(const QString &text) { return text.startsWith(QLatin1String("[Vantobe")); }

// A read through the host's profile: version 1 and "public" without a credentials file; else the profile chosen for
// the host, whose choice is dropped when it no longer answers. A host that no profile reaches fails as a silent one.
QString readOid(const QString &host, const QString &oid, bool logAnswer, const Request &request) {
    const auto failed = [&](const QString &why) {
        if (logAnswer) store::WriteLog(QStringLiteral("errGetOID varOID ") + oid + QStringLiteral(" OID ") + why);
        return ReadFailed;
    };
    const store::SnmpProfiles profiles = store::snmpProfiles();
    std::optional<store::SnmpProfile> profile = store::SnmpProfile{};
    QString why;
    const auto trial = [&](const store::SnmpProfile &tried, bool singleTry) {
        return tryProfile(host, tried, singleTry);
    };
    if (profiles.present) profile = chosenProfile(host, profiles, trial, why);
    if (!profile) return failed(why);
    const std::optional<QString> text = exchange(host, *profile, false, request);
    if (!text) return {};
    if (profiles.present && !agentAnswered(*text)) dropChoice(host);
    return isFailure(*text) ? failed(*text) : *text;
}

QString get(platform::ComponentObject &session, const QString &oid) {
    return session.call(QStringLiteral("SnmpGet"), {oid}).toString();
}

} // namespace

QList<std::pair<QString, QVariant>> profileMembers(const store::SnmpProfile &profile) {
    if (profile.version == QLatin1String("1")) return {};
    QList<std::pair<QString, QVariant>> members{{QStringLiteral("Version"), profile.version}};
    const std::pair<QString, QString> v3[] = {
        {QStringLiteral("SecurityName"), profile.user},
        {QStringLiteral("AuthProtocol"), profile.authProtocol},
        {QStringLiteral("AuthPassphrase"), profile.authPassphrase},
        {QStringLiteral("PrivProtocol"), profile.privProtocol},
        {QStringLiteral("PrivPassphrase"), profile.privPassphrase},
        {QStringLiteral("ContextName"), profile.context},
    };
    if (profile.version == QLatin1String("3"))
        for (const auto &[member, value] : v3)
            if (!value.isEmpty()) members.append({member, value});
    return members;
}

std::optional<QString> tryProfile(const QString &host, const store::SnmpProfile &profile, bool singleTry) {
    return exchange(host, profile, singleTry,
                    [](platform::ComponentObject &session) { return get(session, printermib::SysDescr); });
}

QString GetOID(const QString &host, const QString &oid) {
    return readOid(host, oid, true, [&](platform::ComponentObject &session) { return get(session, oid); });
}

QString probeOid(const QString &host, const QString &oid) {
    return readOid(host, oid, false, [&](platform::ComponentObject &session) { return get(session, oid); });
}

std::optional<QByteArray> probeOctets(const QString &host, const QString &oid) {
    const QString text = readOid(host, oid, false, [&](platform::ComponentObject &session) {
        session.set(QStringLiteral("OctetsAsHex"), 1);
        return get(session, oid);
    });
    if (!text.startsWith(QLatin1String("0x"))) return std::nullopt; // a failure, or a value of another type
    const QByteArray hex = text.mid(2).toLatin1();
    return QByteArray::fromHex(hex);
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

std::optional<int> numberOf(const QString &text) {
    bool ok = false;
    const int number = text.trimmed().toInt(&ok);
    return ok ? std::optional(number) : std::nullopt;
}

std::optional<Walked> probeWalk(const QString &host, const QString &start,
                                const std::function<bool(const QString &oid)> &within, int limit, bool octetsAsHex) {
    Walked walked;
    QString text; // the library's last answer: a time-out leaves no value and no error status of the agent
    readOid(host, start, false, [&](platform::ComponentObject &session) {
        if (octetsAsHex) session.set(QStringLiteral("OctetsAsHex"), 1);
        session.set(QStringLiteral("BulkRepetitions"), WalkRepetitions);
        QString asked = start;
        while (walked.size() < limit) {
            // The OID goes back as the library gave it, so that the next get-next goes on from it by GetBulk.
            QList<platform::ComponentArgument> args{{asked, true}};
            text = session.call(QStringLiteral("SnmpGetNext"), args).toString();
            const QString replied = args[0].value.toString();
            const QString next = replied.startsWith(u'.') ? replied.mid(1) : replied;
            if (isFailure(text) || replied == asked || !within(next)) break;
            walked.append({next, text});
            asked = replied;
        }
        return text;
    });
    if (walked.isEmpty() && (text.isEmpty() || !agentAnswered(text))) return std::nullopt;
    return walked;
}

} // namespace reading
