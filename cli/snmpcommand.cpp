// meterlane-cli snmp: one get, get-next, set or walk through the SnmpV1 component, created by name exactly as the
// desktop program creates it.
#include "commands.h"

#include "discovery/snmpwalk.h"
#include "platform/componentfactory.h"

#include <QCommandLineParser>
#include <QTextStream>

namespace cli {
namespace {

bool isLibraryMessage(const QString &text) { return text.startsWith(QLatin1String("[Vantobe.")); }

struct SnmpRequest {
    QString operation, host, oid, value, community;
    QVariant setType; // invalid when --type was not given
    bool fullWalk = false;
};

int runOperation(platform::ComponentObject &session, const SnmpRequest &request, QTextStream &out) {
    if (request.operation == QLatin1String("get")) {
        const QString reply = session.call(QStringLiteral("SnmpGet"), {request.oid}).toString();
        out << reply << "\n";
        return isLibraryMessage(reply) ? ExitFailed : ExitOk;
    }
    if (request.operation == QLatin1String("getnext")) {
        QList<platform::ComponentArgument> args{{request.oid, true}};
        const QString reply = session.call(QStringLiteral("SnmpGetNext"), args).toString();
        out << args[0].value.toString() << " : " << reply << "\n";
        return isLibraryMessage(reply) ? ExitFailed : ExitOk;
    }
    if (request.operation == QLatin1String("set")) {
        QVariantList args{request.oid, request.value};
        if (request.setType.isValid()) args.append(request.setType);
        const QString reply = session.call(QStringLiteral("SnmpSet"), args).toString();
        out << reply << "\n";
        return isLibraryMessage(reply) ? ExitFailed : ExitOk;
    }
    int status = ExitOk;
    discovery::walkOid(session, request.oid, request.fullWalk, [&](const QString &line) {
        out << line << "\n";
        if (line.startsWith(QLatin1String("=1= ")) && isLibraryMessage(line.section(QLatin1String(" : "), 1)))
            status = ExitFailed; // not even the first step was walked
    });
    return status;
}

int runSession(const SnmpRequest &request) {
    QTextStream out(stdout), err(stderr);
    try {
        platform::ComponentObject session = platform::CreateObject(QStringLiteral("quorrel.SnmpV1"));
        session.set(QStringLiteral("Agent"), request.host);
        session.set(QStringLiteral("CommStr"), request.community);
        session.set(QStringLiteral("TimeOut"), 500);
        session.set(QStringLiteral("Retry"), 3);
        const QString opened = session.call(QStringLiteral("SnmpMgrOpen")).toString();
        if (opened != QLatin1String("Successful")) {
            err << opened << "\n";
            session.call(QStringLiteral("SnmpMgrClose"));
            return ExitFailed;
        }
        const int status = runOperation(session, request, out);
        session.call(QStringLiteral("SnmpMgrClose"));
        return status;
    } catch (const platform::Fault &fault) {
        out.flush();
        err << "error " << fault.number << ": " << fault.description << "\n";
        return ExitFailed;
    }
}

} // namespace

int snmpCommand(const QStringList &args) {
    QCommandLineParser parser;
    const QCommandLineOption community(QStringLiteral("community"), QString(), QStringLiteral("TEXT"),
                                       QStringLiteral("public"));
    const QCommandLineOption type(QStringLiteral("type"), QString(), QStringLiteral("0|1"));
    const QCommandLineOption fullWalk(QStringLiteral("full-walk"));
    parser.addOptions({community, type, fullWalk});
    if (!parseArguments(parser, QStringLiteral("snmp"), args)) return ExitUsage;

    const QStringList positional = parser.positionalArguments();
    const QStringList operations{QStringLiteral("get"), QStringLiteral("getnext"), QStringLiteral("set"),
                                 QStringLiteral("walk")};
    if (positional.isEmpty() || !operations.contains(positional[0]))
        return usageError(QStringLiteral("snmp needs an operation: get, getnext, set or walk"));
    SnmpRequest request;
    request.operation = positional[0];
    const qsizetype wanted = request.operation == QLatin1String("set") ? 4 : 3;
    if (positional.size() != wanted)
        return usageError(QStringLiteral("snmp %1 takes HOST OID%2")
                              .arg(request.operation, wanted == 4 ? QStringLiteral(" VALUE") : QString()));
    request.host = positional[1];
    request.oid = positional[2];
    if (wanted == 4) request.value = positional[3];
    request.community = parser.value(community);
    request.fullWalk = parser.isSet(fullWalk);
    if (parser.isSet(type)) {
        if (request.operation != QLatin1String("set")) return usageError(QStringLiteral("--type goes with set"));
        const QString text = parser.value(type);
        if (text != QLatin1String("0") && text != QLatin1String("1"))
            return usageError(QStringLiteral("--type takes 0 (text) or 1 (integer)"));
        request.setType = text.toInt();
    }
    if (request.fullWalk && request.operation != QLatin1String("walk"))
        return usageError(QStringLiteral("--full-walk goes with walk"));
    return runSession(request);
}

} // namespace cli
