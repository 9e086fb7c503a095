// A real SMTP server as a test peer: mailserver.py beside this file (Debian's aiosmtpd) on the loopback address and
// port the test chooses, with the TLS, login and refusals it asks for. It records every message it takes, and every
// AUTH it sees, in a folder of the test's; it can be stopped and started again where it was.
#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <algorithm>

namespace testsupport {

struct SmtpOptions {
    QString address = QStringLiteral("127.0.0.25");
    quint16 port = 2525;
    QString records;                           // the folder it records into
    QString tls = QStringLiteral("starttls");  // STARTTLS required; "implicit" (smtps) or "none"
    QString certificate, key;                  // PEM, for either TLS
    QString user, password;                    // a login required when user is set
    QString onlyMechanism;                     // "LOGIN" or "PLAIN" alone; both when empty
    QString refuseRecipient, refuseMarker;     // 550 to that recipient; 554 to data holding the marker
    bool silent = false;                       // takes connections and never answers
};

struct RecordedMail {
    QString from;
    QStringList to;
    QByteArray data;
};

class SmtpServer {
public:
    explicit SmtpServer(SmtpOptions options) : options_(std::move(options)) { start(); }
    ~SmtpServer() { stop(); }

    // Starts it and waits until it listens (the script says so); false when it did not come up.
    bool start() {
        QStringList arguments{QStringLiteral(METERLANE_MAIL_SERVER), "--address", options_.address, "--port",
                              QString::number(options_.port), "--records", options_.records, "--tls", options_.tls};
        const QList<QPair<QString, QString>> optional = {
            {"--certificate", options_.certificate},         {"--key", options_.key},
            {"--user", options_.user},                       {"--password", options_.password},
            {"--only-mechanism", options_.onlyMechanism},     {"--refuse-recipient", options_.refuseRecipient},
            {"--refuse-marker", options_.refuseMarker}};
        for (const auto &[option, value] : optional)
            if (!value.isEmpty()) arguments << option << value;
        if (options_.silent) arguments << "--silent";
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral("/usr/bin/python3"), arguments);
        while (!process_.canReadLine() && process_.waitForReadyRead(10000)) {}
        return listening_ = process_.readLine().trimmed() == "listening";
    }
    void stop() {
        listening_ = false;
        if (process_.state() == QProcess::NotRunning) return;
        process_.terminate();
        if (!process_.waitForFinished(5000)) process_.kill();
        process_.waitForFinished();
    }
    bool listening() const { return listening_; }

    // The messages it took, in the order it took them.
    QList<RecordedMail> messages() const {
        QStringList names = QDir(options_.records).entryList({"message-*"}, QDir::Files);
        std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
            return a.mid(8).toInt() < b.mid(8).toInt();
        });
        QList<RecordedMail> mails;
        for (const QString &name : names) {
            QFile file(QDir(options_.records).filePath(name));
            if (!file.open(QIODevice::ReadOnly)) continue;
            const QByteArray bytes = file.readAll();
            const qsizetype end = bytes.indexOf("\n\n");
            RecordedMail mail{{}, {}, bytes.mid(end + 2)};
            for (const QByteArray &line : bytes.left(end).split('\n')) {
                const QString address = QString::fromUtf8(line.mid(line.indexOf(' ') + 1));
                if (line.startsWith("from ")) mail.from = address;
                else mail.to << address;
            }
            mails << mail;
        }
        return mails;
    }
    // One line per AUTH command it saw, taken or not.
    QByteArray authAttempts() const {
        QFile file(QDir(options_.records).filePath("auth-attempts"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private:
    SmtpOptions options_;
    QProcess process_;
    bool listening_ = false;
};

} // namespace testsupport
