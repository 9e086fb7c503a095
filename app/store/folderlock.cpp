#include "folderlock.h"

#include <QDir>

namespace store {

FolderLock::FolderLock(const QString &folder) : file_(QDir(folder).filePath(QStringLiteral("meterlane.lock"))) {
    // Only a dead holder makes a lock stale: a copy may run for months.
    file_.setStaleLockTime(0);
}

bool FolderLock::tryLock() { return file_.tryLock(0); }

qint64 FolderLock::holder() const {
    qint64 pid = 0;
    QString host, application;
    return file_.getLockInfo(&pid, &host, &application) ? pid : 0;
}

} // namespace store
