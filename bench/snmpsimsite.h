// One snmpsim serving one printer's data as the community "public" on every address of a site, for the benchmarks of
// whole sites on loopback. The simulator drops its privileges, so its folders are opened to everyone.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QThread>

// Starts the simulator with its data and log in folder and waits up to a minute until the first and the last address
// answer; false when they do not.
inline bool startSnmpsimSite(QProcess &agent, const QString &folder, const QByteArray &data,
                             const QStringList &addresses) {
    const QDir work(folder);
    work.mkpath(QStringLiteral("data"));
    work.mkpath(QStringLiteral("cache"));
    QFile file(work.filePath(QStringLiteral("data/public.snmprec")));
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size()) return false;
    file.close();
    const auto open = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther |
                      QFileDevice::ExeOther;
    for (const QString &path : {folder, work.filePath(QStringLiteral("data")), file.fileName()})
        QFile::setPermissions(path, open);
    QFile::setPermissions(work.filePath(QStringLiteral("cache")), open | QFileDevice::WriteOther);
    QStringList arguments{QStringLiteral("--data-dir=") + work.filePath(QStringLiteral("data")),
                          QStringLiteral("--cache-dir=") + work.filePath(QStringLiteral("cache")),
                          QStringLiteral("--process-user=nobody"), QStringLiteral("--process-group=nogroup")};
    for (const QString &address : addresses) arguments << QStringLiteral("--agent-udpv4-endpoint=%1:161").arg(address);
    agent.setStandardOutputFile(work.filePath(QStringLiteral("agent.log")));
    agent.setStandardErrorFile(work.filePath(QStringLiteral("agent.log")));
    agent.start(QStringLiteral("snmpsimd"), arguments);
    const auto answers = [](const QString &address) {
        QProcess get;
        get.setStandardOutputFile(QProcess::nullDevice());
        get.setStandardErrorFile(QProcess::nullDevice());
        get.start(QStringLiteral("snmpget"), {QStringLiteral("-v1"), QStringLiteral("-c"), QStringLiteral("public"),
                                              QStringLiteral("-r"), QStringLiteral("0"), QStringLiteral("-t"),
                                              QStringLiteral("0.2"), address, QStringLiteral("1.3.6.1.2.1.1.1.0")});
        return get.waitForFinished() && get.exitStatus() == QProcess::NormalExit && get.exitCode() == 0;
    };
    QElapsedTimer clock;
    clock.start();
    while (!(answers(addresses.first()) && answers(addresses.last()))) {
        if (clock.elapsed() > 60'000) return false;
        QThread::msleep(100);
    }
    return true;
}
