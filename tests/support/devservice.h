// The development service as a test peer: started on a free loopback port (or the port given: the service back
// where it was) with its own database, stopped with the object.
#pragma once

#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

namespace testsupport {

class DevService {
public:
    DevService(const QString &database, const QStringList &extra = {}, quint16 port = 0) {
        process_.setProgram(QStringLiteral(METERLANE_BIN_DIR "/yonderlook-devserver"));
        process_.setArguments(QStringList{"--listen", QStringLiteral("127.0.0.1:%1").arg(port), "--db", database} +
                              extra);
        process_.start();
        static const QRegularExpression listening(QStringLiteral("listening on (http://\\S+)"));
        QByteArray said;
        process_.setReadChannel(QProcess::StandardError);
        while (root_.isEmpty() && process_.waitForReadyRead(5000)) {
            said += process_.readAllStandardError();
            const auto match = listening.match(QString::fromUtf8(said));
            if (match.hasMatch()) root_ = match.captured(1);
        }
    }
    ~DevService() {
        process_.terminate();
        if (!process_.waitForFinished(3000)) process_.kill();
    }
    const QString &root() const { return root_; }

private:
    QProcess process_;
    QString root_;
};

} // namespace testsupport
