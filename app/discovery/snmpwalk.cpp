#include "snmpwalk.h"

namespace discovery {
namespace {

QString line(const QString &step, const QString &oid, const QString &reply) {
    return QStringLiteral("=%1= %2 : %3").arg(step, oid, reply);
}

// The OID text up to and including its first "." (empty when it has none).
QString rootOf(const QString &oid) {
    const qsizetype dot = oid.indexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : oid.left(dot + 1);
}

QString getNext(platform::ComponentObject &session, QString &oid) {
    QList<platform::ComponentArgument> args{{oid, true}};
    const QString reply = session.call(QStringLiteral("SnmpGetNext"), args).toString();
    oid = args[0].value.toString();
    return reply;
}

} // namespace

void walkOid(platform::ComponentObject &session, QString oid, bool fullWalk,
             const std::function<void(const QString &line)> &addLine) {
    QString reply = session.call(QStringLiteral("SnmpGet"), {oid}).toString();
    addLine(line(QStringLiteral("S"), oid, reply));

    reply = getNext(session, oid);
    QString root = rootOf(oid);
    addLine(line(QStringLiteral("1"), oid, reply));

    for (int step = 2; !reply.contains(QLatin1String("Error"), Qt::CaseInsensitive) &&
                       !oid.contains(QLatin1String(".iso."), Qt::CaseInsensitive);) {
        reply = getNext(session, oid);
        if (!fullWalk && rootOf(oid) != root) break;
        addLine(line(QString::number(step), oid, reply));
        if (++step > WalkStepLimit) break;
    }
}

} // namespace discovery
