// Certificates a test makes for its own TLS peers (the mail server, a webhook receiver): an authority of its own and
// a server certificate it signs for a loopback address, made with the openssl tool in a folder of the test's.
#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTextStream>

namespace testsupport {

struct Certificates {
    QString authority;   // PEM of the authority, for CAFile
    QString certificate; // the server's certificate, PEM
    QString key;         // its key, PEM, unencrypted
    bool made = false;
};

// Makes them in folder for a server at address (the certificate names it as an IP address and as its common name).
inline Certificates makeCertificates(const QString &folder, const QString &address) {
    const QDir dir(folder);
    Certificates made{dir.filePath("authority.pem"), dir.filePath("server.pem"), dir.filePath("server-key.pem")};
    const QString authorityKey = dir.filePath("authority-key.pem"), request = dir.filePath("server.csr"),
                  extensions = dir.filePath("server.ext");
    QFile ext(extensions);
    if (!ext.open(QIODevice::WriteOnly)) return made;
    ext.write(QStringLiteral("subjectAltName=IP:%1\nbasicConstraints=CA:FALSE\n").arg(address).toUtf8());
    ext.close();
    const QList<QStringList> steps = {
        {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=Meterlane test authority",
         "-keyout", authorityKey, "-out", made.authority},
        {"req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=" + address, "-keyout", made.key, "-out", request},
        {"x509", "-req", "-in", request, "-CA", made.authority, "-CAkey", authorityKey, "-CAcreateserial", "-days",
         "2", "-extfile", extensions, "-out", made.certificate},
    };
    for (const QStringList &step : steps) {
        QProcess openssl; // quiet unless it fails: it draws its progress on standard error
        openssl.setProcessChannelMode(QProcess::MergedChannels);
        openssl.start(QStringLiteral("openssl"), step);
        if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0) {
            QTextStream(stderr) << "openssl " << step.join(u' ') << ":\n" << openssl.readAll();
            return made;
        }
    }
    made.made = true;
    return made;
}

} // namespace testsupport
