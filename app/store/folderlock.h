// One running copy per program folder: a lock file in the folder, taken by the desktop program and by every command
// that runs a cycle or writes the configuration file, and held until the process ends. Two copies on one folder
// would run their cycles side by side (every reading uploaded twice) and write meterlane.ini over each other.
#pragma once

#include <QLockFile>
#include <QString>

namespace store {

class FolderLock {
public:
    explicit FolderLock(const QString &folder);

    // True when this process now holds the folder: it was free, or its lock was left by a process that is gone.
    bool tryLock();
    // The process that holds the folder after a failed tryLock; 0 when it cannot be told.
    qint64 holder() const;

private:
    QLockFile file_;
};

} // namespace store
