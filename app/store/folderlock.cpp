#include "folderlock.h"

#include <QDir>
#include <QFile>
#include <QSysInfo>

#include <cerrno>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace store {
namespace {

// What a lock file says of its holder, as QLockFile writes it: process id, program, host name, machine id and boot
// id, a line each.
struct Holder {
    qint64 pid = 0;
    QString host;
    QByteArray machineId;
};

std::optional<Holder> holderOf(const QString &lockFile) {
    QFile file(lockFile);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const QList<QByteArray> lines = file.read(4096).split('\n');
    return Holder{lines.value(0).trimmed().toLongLong(), QString::fromUtf8(lines.value(2).trimmed()),
                  lines.value(3).trimmed()};
}

// QLockFile counts a holder as of this machine when the machine ids match, else when the host names do, and then
// takes its lock over once the process is gone. Either differing is enough here: a host of the same machine id but
// another name may be a clone, a container or a renamed host sharing the folder.
bool ofAnotherMachine(const Holder &holder) {
    const QByteArray ours = QSysInfo::machineUniqueId();
    return (!holder.host.isEmpty() && holder.host != QSysInfo::machineHostName()) ||
           (!holder.machineId.isEmpty() && !ours.isEmpty() && holder.machineId != ours);
}

QString errorText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

} // namespace

FolderLock::FolderLock(const QString &folder)
    : folder_(folder), file_(QDir(folder).filePath(QStringLiteral("meterlane.lock"))) {
    // Only a dead holder makes a lock stale: a copy may run for months.
    file_.setStaleLockTime(0);
}

FolderLock::~FolderLock() {
    if (directory_ >= 0) ::close(directory_);
}

// 0 once the folder's flock is held; EWOULDBLOCK while another copy holds it; else why the folder cannot be locked so
// (no such folder, a file system without flock on directories), and the lock file alone decides.
int FolderLock::lockDirectory() {
    directory_ = ::open(QFile::encodeName(folder_).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory_ < 0) return errno;
    while (::flock(directory_, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        const int error = errno;
        ::close(directory_);
        directory_ = -1;
        return error;
    }
    return 0;
}

bool FolderLock::tryLock() {
    const int directory = lockDirectory();
    if (directory == EWOULDBLOCK) return refuse(inUse());
    const auto cannotCreate = [&](const QString &reason) {
        return refuse(QStringLiteral("cannot create %1: %2").arg(QDir::toNativeSeparators(file_.fileName()), reason));
    };
    if (directory == ENOENT || directory == ENOTDIR) return cannotCreate(errorText(directory));
    if (const auto holder = holderOf(file_.fileName()); holder && ofAnotherMachine(*holder))
        return refuse(QStringLiteral("%1 names a copy on another machine (host %2, process %3): the folder may be in "
                                     "use there; if no copy runs there, delete the file")
                          .arg(QDir::toNativeSeparators(file_.fileName()), holder->host)
                          .arg(holder->pid));
    if (file_.tryLock(0)) return true;
    if (file_.error() == QLockFile::LockFailedError) return refuse(inUse());
    // A folder that takes no new file, or a full disk: the flock alone keeps other copies out.
    if (directory_ >= 0) return true;
    return cannotCreate(file_.error() == QLockFile::PermissionError
                            ? QStringLiteral("permission denied")
                            : QStringLiteral("it could not be written (is the disk full?)"));
}

bool FolderLock::refuse(const QString &why) {
    if (directory_ >= 0) ::close(directory_);
    directory_ = -1;
    failure_ = why;
    return false;
}

QString FolderLock::inUse() const {
    const auto holder = holderOf(file_.fileName());
    const QString who = holder && holder->pid > 0 && !ofAnotherMachine(*holder)
                            ? QStringLiteral("process %1").arg(holder->pid)
                            : QStringLiteral("another copy of the program");
    return QStringLiteral("the program folder %1 is in use by %2").arg(QDir::toNativeSeparators(folder_), who);
}

} // namespace store
