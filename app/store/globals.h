// The process-wide values that start-up fixes and every part of the program reads.
#pragma once

#include <QString>

namespace store {

struct Globals {
    QString programFolder; // where the program's files live: ini file, log/, zovdata.txt, zov.vnd, branding
    QString iniFile;       // the configuration file: the program's name + ".ini" in the program folder
    QString version;       // major.minor.revision of the program
    QString vendorId;      // [Vendor] ID, read once at start-up
    QString appCode = QStringLiteral("004");
    QString customerCode;  // set by the customer code prompt
    int intervalRead = 0;  // timer ticks per timed cycle
    bool dataSent = false; // a read-and-send cycle has run
};

Globals &globals();

// Points the globals at a program folder: its ini file (programName + ".ini") and the program's version.
void setProgramFolder(const QString &folder, const QString &programName = QStringLiteral("meterlane"));

// The name of the running program's executable file, which names its ini file; never argv[0], which a renamed link
// or "exec -a" sets to anything. Needs the application object.
QString programFileName();

} // namespace store
