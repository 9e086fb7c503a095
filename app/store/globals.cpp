#include "globals.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace store {
namespace {

const QString VendorFile = QStringLiteral("zov.vnd");

// The installed programs' folder holds files of the system, never a program folder: a zov.vnd put there must not make
// every user's copy keep its files beside the programs.
bool isInstallFolder(const QString &folder) {
    const QString installed = QFileInfo(QStringLiteral(METERLANE_INSTALL_FOLDER)).canonicalFilePath();
    return !installed.isEmpty() && QFileInfo(folder).canonicalFilePath() == installed;
}

} // namespace

Globals &globals() {
    static Globals values;
    return values;
}

void setProgramFolder(const QString &folder, const QString &programName) {
    Globals &values = globals();
    values.programFolder = QDir(folder).absolutePath();
    values.iniFile = QDir(values.programFolder).filePath(programName + QStringLiteral(".ini"));
    values.version = QStringLiteral(METERLANE_VERSION);
}

bool useProgramFolder(const QString &executableFolder, const QString &programName) {
    const QDir own(executableFolder);
    if (!isInstallFolder(executableFolder) &&
        (own.exists(programName + QStringLiteral(".ini")) || own.exists(VendorFile))) {
        setProgramFolder(executableFolder, programName);
        return true;
    }
    const QString data =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/meterlane");
    setProgramFolder(data, programName);
    return QDir().mkpath(data);
}

QString systemFolder() {
    const QString chosen = qEnvironmentVariable("METERLANE_SYSTEM_FOLDER");
    return chosen.isEmpty() ? QStringLiteral(METERLANE_SYSTEM_FOLDER) : chosen;
}

QString programFile(const QString &name) {
    const QString own = QDir(globals().programFolder).filePath(name);
    if (QFileInfo::exists(own)) return own;
    const QString shared = QDir(systemFolder()).filePath(name);
    return QFileInfo::exists(shared) ? shared : own;
}

QString handedInFile(const QString &name) {
    const QString handedIn = qEnvironmentVariable("CREDENTIALS_DIRECTORY");
    const QString path = handedIn.isEmpty() ? QString() : QDir(handedIn).filePath(name);
    return !path.isEmpty() && QFileInfo::exists(path) ? path : programFile(name);
}

QString programFileName() { return QFileInfo(QCoreApplication::applicationFilePath()).fileName(); }

} // namespace store
