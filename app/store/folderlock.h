// One running copy per program folder, taken by the desktop program and by every command that runs a cycle or writes
// the configuration file, and held until the process ends. Two copies on one folder would run their cycles side by
// side (every reading uploaded twice) and write meterlane.ini over each other.
//
// Every copy holds an exclusive flock on the folder itself, through a descriptor of the directory: it needs no new
// file, so a folder that takes none (its meterlane.ini written in place) is still guarded, and the atomic renames of
// the files in it do not touch it. Beside it the lock file meterlane.lock names the holder where it can be written,
// and keeps out the copies the flock does not reach: an older version, a file system without flock on directories.
// QLockFile takes over a lock file whose process is gone; one written on another machine (a shared folder, a
// container started with a new machine id) is never taken over: only a person can know that no copy runs there.
#pragma once

#include <QLockFile>
#include <QString>

namespace store {

class FolderLock {
public:
    explicit FolderLock(const QString &folder);
    ~FolderLock();
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

    // True when this process now holds the folder: no copy held it, or its lock file was left by a process of this
    // machine that is gone.
    bool tryLock();
    // Why the last tryLock failed, as said to the user: the folder is in use by a live copy ("by process N" where its
    // lock file names it), the lock file names a copy on another machine, or "cannot create FOLDER/meterlane.lock:
    // REASON".
    QString failure() const { return failure_; }

private:
    int lockDirectory();
    bool refuse(const QString &why);
    QString inUse() const;

    QString folder_;
    QLockFile file_;
    int directory_ = -1; // the folder, flocked while held
    QString failure_;
};

} // namespace store
