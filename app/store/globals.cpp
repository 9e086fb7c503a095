#include "globals.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace store {

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

QString programFileName() { return QFileInfo(QCoreApplication::applicationFilePath()).fileName(); }

} // namespace store
