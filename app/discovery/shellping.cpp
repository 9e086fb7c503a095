#include "shellping.h"

#include "platform/fault.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryFile>

#include <limits>

namespace discovery {
namespace {

constexpr int PingTimeLimitMs = 10000; // ping -W 1 ends within about a second; this only bounds a hung one

// Removes the temporary file however the ping ends.
struct RemoveOnExit {
    QString name;
    ~RemoveOnExit() { QFile::remove(name); }
};

// A host text that ping could take for an option, or that holds blanks or control characters, is never run.
bool acceptableHost(const QString &host) {
    if (host.isEmpty() || host.startsWith(QLatin1Char('-'))) return false;
    for (const QChar c : host)
        if (c.isSpace() || c.category() == QChar::Other_Control) return false;
    return true;
}

QString makeFileIn(const QString &folder) {
    QTemporaryFile file(QDir(folder).filePath(QStringLiteral("pinXXXXXX")));
    file.setAutoRemove(false);
    if (!file.open()) return {};
    return QFileInfo(file.fileName()).absoluteFilePath();
}

} // namespace

QString MakeTempFileName() {
    QStringList tried;
    const QString candidates[] = {qEnvironmentVariable("temp"), qEnvironmentVariable("TMPDIR"),
                                  QStringLiteral("/tmp")};
    for (const QString &folder : candidates) {
        if (folder.isEmpty()) continue;
        tried.append(folder);
        const QString name = makeFileIn(folder);
        if (!name.isEmpty()) return name;
    }
    throw platform::Fault(51,
                          QStringLiteral("cannot make a temporary file in %1").arg(tried.join(QLatin1String(", "))));
}

std::optional<short> replyTime(const QString &line) {
    // The time comes right after "=" or "<": ping's statistics line ("time 0ms") and its summary line
    // ("= 0.045/0.045/0.045/0.000 ms") do not match.
    static const QRegularExpression reply(QStringLiteral("[=<]([0-9]+)(?:\\.[0-9]*)? ?ms(?![A-Za-z])"));
    const QRegularExpressionMatch match = reply.match(line);
    if (!match.hasMatch()) return std::nullopt;
    const QStringView whole = match.capturedView(1);
    if (whole.size() > 5) return -1;
    const int value = whole.toInt();
    if (value > std::numeric_limits<short>::max()) return -1;
    return static_cast<short>(value < 1 ? 1 : value);
}

short roundTripFromOutput(QIODevice &output) {
    while (!output.atEnd()) {
        const QString line = QString::fromLocal8Bit(output.readLine()).trimmed();
        if (const std::optional<short> time = replyTime(line)) return *time;
    }
    return -1;
}

short PingViaShell(const QString &host) {
    if (!acceptableHost(host)) return -1;
    const RemoveOnExit output{MakeTempFileName()};

    // Started directly with an argument list, never through a shell, so that a host cannot add a command.
    QProcess ping;
    ping.setProgram(QStringLiteral("ping"));
    ping.setArguments({QStringLiteral("-c"), QStringLiteral("1"), QStringLiteral("-W"), QStringLiteral("1"), host});
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C")); // the English wording and a decimal point
    ping.setProcessEnvironment(environment);
    ping.setStandardInputFile(QProcess::nullDevice());
    ping.setStandardOutputFile(output.name);
    ping.setStandardErrorFile(QProcess::nullDevice());
    ping.start();
    if (!ping.waitForStarted()) return -1;
    if (!ping.waitForFinished(PingTimeLimitMs)) {
        ping.kill();
        ping.waitForFinished();
    }

    QFile file(output.name);
    if (!file.open(QIODevice::ReadOnly)) return -1;
    return roundTripFromOutput(file);
}

} // namespace discovery
