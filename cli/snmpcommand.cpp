// meterlane-cli snmp: one get, get-next, set or walk through the SnmpV1 component, created by name exactly as the
// desktop program creates it, asking as a credential profile or Net-SNMP's options say (version 1 and "public"
// without them).
#include "commands.h"

#include "discovery/snmpwalk.h"
#include "platform/componentfactory.h"
#include "reading/oidreader.h"
#include "store/snmpprofiles.h"

#include <QCommandLineParser>
#include <QTextStream>

#include <algorithm>
#include <iterator>
#include <optional>

namespace cli {
namespace {

bool isLibraryMessage(const QString &text) { return text.startsWith(QLatin1String("[Vantobe.")); }

struct SnmpRequest {
    QString operation, host, oid, value;
    store::SnmpProfile profile;
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
        session.set(QStringLiteral("CommStr"), request.profile.community);
        session.set(QStringLiteral("TimeOut"), 500);
        session.set(QStringLiteral("Retry"), 3);
        for (const auto &[member, value] : reading::profileMembers(request.profile)) session.set(member, value);
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

// Net-SNMP's options of one letter and the profile keys they set; -l, the security level, is taken apart.
struct NetSnmpOption {
    const char *letter, *key;
};
constexpr NetSnmpOption NetSnmpOptions[] = {
    {"v", "Version"},        {"c", "Community"},    {"u", "User"},           {"a", "AuthProtocol"},
    {"A", "AuthPassphrase"}, {"x", "PrivProtocol"}, {"X", "PrivPassphrase"}, {"n", "Context"},
};
const QString LevelLetter = QStringLiteral("l");

// The arguments with a value attached to a one-letter option of Net-SNMP's ("-v2c") given apart ("-v", "2c"), as
// Net-SNMP's tools take both; single-dash words that name a long option ("-community") stay as they are.
QStringList withValuesApart(const QStringList &args, const QStringList &longNames) {
    static const QString letters = QStringLiteral("vcuaAxXnl");
    QStringList apart;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        if (arg == QLatin1String("--")) return apart + args.mid(i);
        if (arg.size() > 2 && arg[0] == u'-' && letters.contains(arg[1]) && arg[2] != u'=' &&
            !longNames.contains(arg.mid(1)))
            apart << arg.left(2) << arg.mid(2);
        else
            apart << arg;
    }
    return apart;
}

// The protocols the security level leaves out are dropped, as Net-SNMP's tools drop them; those it needs must be
// there. False after saying why.
bool applyLevel(store::SnmpProfile &profile, const QString &level) {
    const bool auth = level.compare(QLatin1String("authNoPriv"), Qt::CaseInsensitive) == 0,
               priv = level.compare(QLatin1String("authPriv"), Qt::CaseInsensitive) == 0;
    if (!auth && !priv && level.compare(QLatin1String("noAuthNoPriv"), Qt::CaseInsensitive) != 0) {
        usageError(QStringLiteral("-l takes noAuthNoPriv, authNoPriv or authPriv"));
        return false;
    }
    if (!auth && !priv) {
        profile.authProtocol.clear();
        profile.authPassphrase.clear();
    }
    if (!priv) {
        profile.privProtocol.clear();
        profile.privPassphrase.clear();
    }
    if ((auth || priv) && profile.authProtocol.isEmpty()) {
        usageError(QStringLiteral("-l %1 needs -a and -A").arg(level));
        return false;
    }
    if (priv && profile.privProtocol.isEmpty()) {
        usageError(QStringLiteral("-l authPriv needs -x and -X"));
        return false;
    }
    return true;
}

// The profile Net-SNMP's options describe: version 1 and "public" for none. Nothing after a usage error, said.
std::optional<store::SnmpProfile> optionsProfile(const QCommandLineParser &parser) {
    store::SnmpProfile profile;
    QString why;
    for (const NetSnmpOption &option : NetSnmpOptions) {
        const QString letter = QLatin1String(option.letter);
        if (parser.isSet(letter) && !setProfileKey(profile, QLatin1String(option.key), parser.value(letter), why)) {
            usageError(QStringLiteral("-%1: %2").arg(letter, why));
            return std::nullopt;
        }
    }
    if (parser.isSet(LevelLetter) && !applyLevel(profile, parser.value(LevelLetter))) return std::nullopt;
    if (!checkProfile(profile, why)) {
        usageError(QStringLiteral("the SNMP options do not go together: ") + why);
        return std::nullopt;
    }
    return profile;
}

// The credentials file's profile of that name (letter case aside); nothing after saying why.
std::optional<store::SnmpProfile> namedProfile(const QString &name) {
    const store::SnmpProfiles profiles = store::snmpProfiles();
    for (const store::SnmpProfile &profile : profiles.profiles)
        if (profile.name.compare(name, Qt::CaseInsensitive) == 0) return profile;
    QTextStream(stderr) << "meterlane-cli: no profile " << name << " in " << profiles.path
                        << (profiles.present ? "" : " (no such file)") << "\n";
    return std::nullopt;
}

} // namespace

int snmpCommand(const QStringList &args) {
    QCommandLineParser parser;
    const QCommandLineOption community({QStringLiteral("c"), QStringLiteral("community")}, QString(),
                                       QStringLiteral("TEXT"));
    const QCommandLineOption type(QStringLiteral("type"), QString(), QStringLiteral("0|1"));
    const QCommandLineOption fullWalk(QStringLiteral("full-walk"));
    const QCommandLineOption profileName(QStringLiteral("profile"), QString(), QStringLiteral("NAME"));
    parser.addOptions({community, type, fullWalk, profileName, folderOption()});
    for (const NetSnmpOption &option : NetSnmpOptions)
        if (QLatin1String(option.letter) != QLatin1String("c"))
            parser.addOption(QCommandLineOption(QLatin1String(option.letter), QString(), QStringLiteral("VALUE")));
    parser.addOption(QCommandLineOption(LevelLetter, QString(), QStringLiteral("LEVEL")));
    if (!parseArguments(parser, QStringLiteral("snmp"), withValuesApart(args, {QStringLiteral("community")})))
        return ExitUsage;
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
    if (parser.isSet(folderOption()) && !parser.isSet(profileName))
        return usageError(QStringLiteral("--folder goes with --profile"));
    const bool netSnmpOptions = parser.isSet(LevelLetter) ||
                                std::any_of(std::begin(NetSnmpOptions), std::end(NetSnmpOptions),
                                            [&](const NetSnmpOption &option) { return parser.isSet(option.letter); });
    if (parser.isSet(profileName)) {
        if (netSnmpOptions)
            return usageError(QStringLiteral("--profile goes without -v, -c, -u, -l, -a, -A, -x, -X, -n"));
        if (!useProgramFolder(parser)) return ExitFailed;
        const auto named = namedProfile(parser.value(profileName));
        if (!named) return ExitFailed;
        request.profile = *named;
    } else {
        const auto described = optionsProfile(parser);
        if (!described) return ExitUsage;
        request.profile = *described;
    }
    return runSession(request);
}

} // namespace cli
