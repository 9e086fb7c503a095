// The process-wide values that start-up fixes and every part of the program reads, and the choice of the program
// folder they point at.
#pragma once

#include <QString>

namespace store {

struct Globals {
    QString programFolder; // where the program's files live: ini file, log/, zovdata.txt, zov.vnd, branding
    QString iniFile;       // the configuration file: the program's name + ".ini" in the program folder
    QString version;       // major.minor.revision of the program
    QString vendorId;      // [Vendor] ID, read once at start-up
    QString serviceRoot;   // [Vendor] ServiceRoot of the ini file, else of zov.vnd, read once at start-up; empty:
                           // the built-in root
    QString appCode = QStringLiteral("004");
    QString customerCode;  // set by the customer code prompt
    int intervalRead = 0;  // timer ticks per timed cycle
    bool dataSent = false; // a read-and-send cycle has run
};

Globals &globals();

// Points the globals at a program folder, which holds every file of the program: its ini file (programName +
// ".ini") and the program's version.
void setProgramFolder(const QString &folder, const QString &programName = QStringLiteral("meterlane"));

// Points the globals at the program folder of a copy whose executable lies in executableFolder. A portable copy (its
// executable's folder holds programName + ".ini" or zov.vnd: the build folder, an unpacked copy) keeps every file
// there. The folder the programs are installed in is never portable, whatever it holds: an installed copy keeps the
// user's files in the data folder $XDG_DATA_HOME/meterlane, made here when missing. False when the data folder cannot
// be made.
bool useProgramFolder(const QString &executableFolder, const QString &programName = QStringLiteral("meterlane"));

// Where a vendor's package puts zov.vnd and the branding files for every program folder of the machine
// (/etc/meterlane); the environment variable METERLANE_SYSTEM_FOLDER names another one.
QString systemFolder();

// The path of a file the program only reads (zov.vnd, a branding file): in the program folder when it is there, else
// in the system folder when that holds it; else the program folder's path, where it is missing.
QString programFile(const QString &name);

// The path of a file with secrets the program only reads: first in the folder systemd's LoadCredential= hands in
// ($CREDENTIALS_DIRECTORY) when that holds it, else as programFile finds it.
QString handedInFile(const QString &name);

// The name of the running program's executable file, which names its ini file; never argv[0], which a renamed link
// or "exec -a" sets to anything. Needs the application object.
QString programFileName();

} // namespace store
