#include "ui/runningcopy.h"

#include "ui/mainwindow.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

namespace ui {
namespace {

// In the user's private runtime folder, named after the folder's canonical path: the same folder gives the same
// name however it was written, and no other user can answer in its place.
QString socketName(const QString &folder) {
    QString path = QDir(folder).canonicalPath();
    if (path.isEmpty()) path = QDir(folder).absolutePath();
    const QByteArray hash = QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha256).toHex().left(24);
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) + QStringLiteral("/meterlane-") +
           QString::fromLatin1(hash);
}

constexpr int AnswerLimitMs = 2000;

} // namespace

bool bringRunningCopyToFront(const QString &folder) {
    QLocalSocket socket;
    socket.connectToServer(socketName(folder));
    if (!socket.waitForConnected(AnswerLimitMs)) return false;
    // The holder answers once it has shown its window, so that this copy ends only when the user sees the other.
    return socket.waitForReadyRead(AnswerLimitMs);
}

void listenForLaterCopies(const QString &folder, MainWindow &window) {
    auto *server = new QLocalServer(&window);
    const QString name = socketName(folder);
    QLocalServer::removeServer(name); // left by a copy that ended without closing it: this copy holds the folder now
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(name)) return; // later copies then say that the folder is in use
    QObject::connect(server, &QLocalServer::newConnection, &window, [server, &window] {
        while (QLocalSocket *later = server->nextPendingConnection()) {
            window.NormalWindow();
            later->write("shown\n");
            later->disconnectFromServer();
            QObject::connect(later, &QLocalSocket::disconnected, later, &QObject::deleteLater);
        }
    });
}

} // namespace ui
