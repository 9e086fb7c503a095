// The configuration file through the program's routines: values as read and written on disk, the default file and
// its renewal, failed writes that must keep the old file, settings read as numbers, and the folder of an installed
// copy.
#include "store/config.h"
#include "store/globals.h"
#include "store/log.h"

#include "support/files.h"
#include "support/fulldisk.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <csignal>
#include <climits>
#include <functional>
#include <optional>
#include <tuple>
#include <grp.h>
#include <sys/fsuid.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace Qt::StringLiterals;

void writeBytes(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

using testsupport::readBytes;

using testsupport::TinyFileSizeLimit;

// While alive, this thread's file access is checked as an ordinary user's: root would pass every mode bit.
class AsOrdinaryUser {
public:
    AsOrdinaryUser() : previous(setfsuid(65534)) {}
    ~AsOrdinaryUser() { setfsuid(previous); }

private:
    uid_t previous;
};

// Runs action in a child process as nobody (group nogroup), a member of group too; true when it returned true.
bool asNobodyInGroup(gid_t group, const std::function<bool()> &action) {
    const pid_t child = fork();
    if (child == 0) {
        const gid_t groups[] = {group};
        const bool dropped =
            setgroups(1, groups) == 0 && setresgid(65534, 65534, 65534) == 0 && setresuid(65534, 65534, 65534) == 0;
        _exit(dropped && action() ? 0 : 1);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// While alive, the environment variable name has the value given.
class ScopedVariable {
public:
    ScopedVariable(const char *name, const QString &value)
        : name(name), saved(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt) {
        qputenv(name, value.toUtf8());
    }
    ~ScopedVariable() { saved ? qputenv(name, *saved) : qunsetenv(name); }

private:
    const char *name;
    std::optional<QByteArray> saved;
};

QByteArray defaultFile(const QByteArray &version, const QByteArray &vendorId, const QByteArray &serviceRoot = {}) {
    return "[General]\r\nver=" + version +
           "\r\n[Settings]\r\nStartupMinimized=1\r\nTonerLow=20\r\nTonerLowNotNotify=1\r\nIntervalReadMinutes=150\r\n"
           "\r\n[Vendor]\r\nID=" + vendorId + (serviceRoot.isEmpty() ? "" : "\r\nServiceRoot=" + serviceRoot) +
           "\r\n\r\n[Pips]\r\npip001=\r\npip002=\r\npip003=\r\npip004=\r\npip005=\r\npip006=\r\npip007=\r\npip008=\r\n"
           "pip009=\r\npip010=\r\n\r\n";
}

class Config : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        store::setProgramFolder(dir.path());
        store::globals().version = u"2.0.10"_s;
    }
    QString path(const QString &name) const { return dir.filePath(name); }
    const QString &ini() const { return store::globals().iniFile; }

    QTemporaryDir dir;
};

TEST_F(Config, ReadGivesEmptyTextForWhatIsMissingAndCutsLongValues) {
    writeBytes(path(u"a.ini"_s), "[Pips]\r\npip001=" + QByteArray(300, 'x') + "\r\npip002=" + QByteArray(248, 'a') +
                                     "\xF0\x9F\x98\x80\r\n");
    QDir(dir.path()).mkdir(u"folder.ini"_s);
    const struct {
        QString file, section, key, expected;
    } cases[] = {
        {u"a.ini"_s, u"pips"_s, u"pip001"_s, QString(249, u'x')},
        {u"a.ini"_s, u"pips"_s, u"pip002"_s, QString(248, u'a')}, // the 249th unit would be half a character
        {u"a.ini"_s, u"pips"_s, u"pip003"_s, QString()},
        {u"a.ini"_s, u"pipsinfo"_s, u"pip001"_s, QString()},
        {u"missing.ini"_s, u"pips"_s, u"pip001"_s, QString()},
        {u"folder.ini"_s, u"pips"_s, u"pip001"_s, QString()},
    };
    for (const auto &c : cases)
        EXPECT_EQ(store::ReadIniValue(path(c.file), c.section, c.key), c.expected)
            << qPrintable(c.file) << " " << qPrintable(c.key);
    EXPECT_FALSE(QFileInfo::exists(path(u"missing.ini"_s)));
}

TEST_F(Config, WriteCreatesAMissingFile) {
    ASSERT_TRUE(store::WriteIniValue(path(u"new.ini"_s), u"Pips"_s, u"pip001"_s, u"10.0.0.1"_s));
    EXPECT_EQ(readBytes(path(u"new.ini"_s)), QByteArray("[Pips]\r\npip001=10.0.0.1\r\n"));
}

TEST_F(Config, AllTwoHundredSlotsReadBack) {
    ASSERT_TRUE(store::CreateIniFile());
    for (int slot = 1; slot <= 200; ++slot)
        ASSERT_TRUE(store::WriteIniValue(ini(), u"pips"_s, u"pip%1"_s.arg(slot, 3, 10, QLatin1Char('0')),
                                         u"10.0.%1.%2:key"_s.arg(slot / 100).arg(slot % 100)));
    for (int slot = 1; slot <= 200; ++slot)
        EXPECT_EQ(store::ReadIniValue(ini(), u"Pips"_s, u"PIP%1"_s.arg(slot, 3, 10, QLatin1Char('0'))),
                  u"10.0.%1.%2:key"_s.arg(slot / 100).arg(slot % 100));
    const QByteArray bytes = readBytes(ini());
    EXPECT_EQ(bytes.count("[Pips]"), 1);
    EXPECT_TRUE(bytes.endsWith("\r\npip200=10.0.2.0:key\r\n\r\n")) << bytes.right(60).data();
}

TEST_F(Config, FailedWriteKeepsTheOldFile) {
    const QByteArray old = "; keep me\r\n[Pips]\r\npip001=10.0.0.1\r\n";
    writeBytes(path(u"a.ini"_s), old);
    ASSERT_EQ(chmod(QFile::encodeName(path(u"a.ini"_s)).constData(), 0666), 0); // for an ordinary user too
    writeBytes(path(u"afile"_s), "not a folder");
    QDir(dir.path()).mkdir(u"folder.ini"_s);
    const struct {
        const char *name;
        QString file;
        bool limitFileSize, closedFolder;
    } cases[] = {
        {"disk full while writing", u"a.ini"_s, true, false},
        {"disk full while writing in place", u"a.ini"_s, true, true},
        {"missing folder", u"nofolder/a.ini"_s, false, false},
        {"parent is a file", u"afile/a.ini"_s, false, false},
        {"path is a folder", u"folder.ini"_s, false, false},
    };
    for (const auto &c : cases) {
        bool written = true;
        ASSERT_EQ(chmod(QFile::encodeName(dir.path()).constData(), c.closedFolder ? 0555 : 0700), 0);
        {
            std::optional<TinyFileSizeLimit> limit;
            std::optional<AsOrdinaryUser> user;
            if (c.limitFileSize) limit.emplace();
            if (c.closedFolder) user.emplace();
            written = store::WriteIniValue(path(c.file), u"Pips"_s, u"pip001"_s, u"10.0.0.99"_s);
        }
        EXPECT_FALSE(written) << c.name;
        EXPECT_EQ(readBytes(path(u"a.ini"_s)), old) << c.name;
        writeBytes(path(u"a.ini"_s), old);
    }
    ASSERT_EQ(chmod(QFile::encodeName(dir.path()).constData(), 0700), 0);
    EXPECT_TRUE(QFileInfo(path(u"folder.ini"_s)).isDir());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              (QStringList{u"a.ini"_s, u"afile"_s, u"folder.ini"_s})); // no temporary file left behind
}

TEST_F(Config, WriteInAFolderClosedToNewFilesGoesIntoTheFileItself) {
    writeBytes(ini(), "[Pips]\r\npip001=10.0.0.1\r\n");
    ASSERT_EQ(chmod(QFile::encodeName(ini()).constData(), 0666), 0);
    ASSERT_EQ(chmod(QFile::encodeName(dir.path()).constData(), 0555), 0);
    {
        AsOrdinaryUser user;
        EXPECT_TRUE(store::WriteIniValue(ini(), u"Vendor"_s, u"CID"_s, u"42"_s));
    }
    EXPECT_EQ(readBytes(ini()), QByteArray("[Pips]\r\npip001=10.0.0.1\r\n[Vendor]\r\nCID=42\r\n"));
}

TEST_F(Config, WriteKeepsTheFilesGroupAndModeAndByRootItsOwner) {
    if (geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
    ASSERT_EQ(chmod(QFile::encodeName(dir.path()).constData(), 0777), 0); // nobody may add files too
    writeBytes(ini(), "[Pips]\r\n");
    const QByteArray name = QFile::encodeName(ini());
    ASSERT_EQ(chown(name.constData(), 4242, 4343), 0);
    ASSERT_EQ(chmod(name.constData(), 0660), 0);
    const auto ownerGroupMode = [&] {
        struct stat after {};
        stat(name.constData(), &after);
        return std::tuple(after.st_uid, after.st_gid, after.st_mode & 07777);
    };
    const auto write = [&] { return store::WriteIniValue(ini(), u"Pips"_s, u"pip001"_s, u"10.0.0.1"_s); };
    ASSERT_TRUE(write());
    EXPECT_EQ(ownerGroupMode(), std::tuple(4242u, 4343u, 0660u));
    ASSERT_TRUE(asNobodyInGroup(4343, write));
    EXPECT_EQ(ownerGroupMode(), std::tuple(65534u, 4343u, 0660u)) << "written by a member of the file's group";
}

TEST_F(Config, IniFileIsNamedAfterTheProgramFileNotTheNameItWasStartedUnder) {
    int argc = 1;
    char name[] = "other"; // as "exec -a other" or a renamed link starts it
    char *argv[] = {name, nullptr};
    const QCoreApplication app(argc, argv);
    store::setProgramFolder(dir.path(), store::programFileName());
    EXPECT_EQ(ini(), path(u"store_tests.ini"_s));
}

TEST_F(Config, CreatesTheDefaultFileWithTheVendorId) {
    const struct {
        const char *name;
        std::optional<QByteArray> vendorFile;
        QByteArray id;
    } cases[] = {
        {"vendor file", QByteArray("[vendor]\nid = ACME-7 \n"), "ACME-7"},
        {"vendor file without the key", QByteArray("[Vendor]\r\nName=x\r\n"), ""},
        {"no vendor file", std::nullopt, ""},
    };
    for (const auto &c : cases) {
        QFile::remove(ini());
        QFile::remove(path(u"zov.vnd"_s));
        if (c.vendorFile) writeBytes(path(u"zov.vnd"_s), *c.vendorFile);
        EXPECT_TRUE(store::CreateIniFile()) << c.name;
        EXPECT_EQ(readBytes(ini()), defaultFile("2.0.10", c.id)) << c.name;
    }
}

// An installed copy writes only into the user's data folder; every program folder finds the vendor's files in it,
// else in the system folder.
TEST_F(Config, InstalledCopyWritesToTheDataFolderAndFindsVendorFilesInTheSystemFolder) {
    const QString bin = path(u"bin"_s), data = path(u"data/meterlane"_s), system = path(u"etc"_s);
    QDir(dir.path()).mkpath(u"bin"_s);
    QDir(dir.path()).mkpath(u"etc"_s);
    const ScopedVariable systemFolder("METERLANE_SYSTEM_FOLDER", system);
    {
        const ScopedVariable dataHome("XDG_DATA_HOME", path(u"data"_s));
        ASSERT_TRUE(store::useProgramFolder(bin));
    }
    EXPECT_EQ(store::globals().programFolder, data);
    EXPECT_TRUE(QFileInfo(data).isDir());

    writeBytes(system + u"/zov.vnd"_s, "[Vendor]\r\nID=ACME\r\n");
    for (const QString &name : {u"ACME.ico"_s, u"ACMEb.jpg"_s}) writeBytes(system + u'/' + name, "system");
    writeBytes(data + u"/ACMEb.jpg"_s, "own");
    EXPECT_EQ(store::programFile(u"ACME.ico"_s), system + u"/ACME.ico"_s);
    EXPECT_EQ(store::programFile(u"ACMEb.jpg"_s), data + u"/ACMEb.jpg"_s);
    EXPECT_EQ(store::programFile(u"ACME!.ico"_s), data + u"/ACME!.ico"_s);
    ASSERT_TRUE(store::CreateIniFile());
    store::WriteLog(u"started"_s);
    EXPECT_EQ(readBytes(data + u"/meterlane.ini"_s), defaultFile(store::globals().version.toUtf8(), "ACME"));
    const auto entries = [](const QString &folder) {
        return QDir(folder).entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
    };
    EXPECT_EQ(entries(data), (QStringList{u"ACMEb.jpg"_s, u"log"_s, u"meterlane.ini"_s}));
    EXPECT_EQ(entries(system), (QStringList{u"ACME.ico"_s, u"ACMEb.jpg"_s, u"zov.vnd"_s}));
    EXPECT_EQ(entries(bin), QStringList());

    store::setProgramFolder(path(u"service"_s)); // as --folder names it
    EXPECT_EQ(store::programFile(u"zov.vnd"_s), system + u"/zov.vnd"_s);
    writeBytes(bin + u"/zov.vnd"_s, "[Vendor]\r\nID=OWN\r\n");
    ASSERT_TRUE(store::useProgramFolder(bin));
    EXPECT_EQ(store::globals().programFolder, bin);
    EXPECT_EQ(store::programFile(u"zov.vnd"_s), bin + u"/zov.vnd"_s);
}

TEST_F(Config, RenewsOnlyAFileWhoseVersionSortsBeforeAsText) {
    const struct {
        const char *stored; // nullptr: no ver key
        QString program;
        bool renewed;
    } cases[] = {
        {"2.0.9", u"2.0.10"_s, false}, // "9" > "1" at the fifth character
        {"2.0.10", u"2.0.9"_s, true},
        {"2.0.10", u"2.0.10"_s, false},
        {"3.0.0", u"2.0.10"_s, false},
        {nullptr, u"2.0.10"_s, true},
    };
    for (const auto &c : cases) {
        const QByteArray old = QByteArray("[General]\r\n") + (c.stored ? QByteArray("ver=") + c.stored + "\r\n" : "") +
                               "[Vendor]\r\nServiceRoot=http://127.0.0.1:7\r\n[Pips]\r\npip001=10.0.0.1\r\n";
        writeBytes(ini(), old);
        store::globals().version = c.program;
        EXPECT_TRUE(store::CreateIniFile());
        EXPECT_EQ(readBytes(ini()), c.renewed ? defaultFile(c.program.toUtf8(), "", "http://127.0.0.1:7") : old)
            << (c.stored ? c.stored : "no ver") << " vs " << qPrintable(c.program);
    }
}

TEST_F(Config, FileWithoutVersionIsRenewedOnceThenKept) {
    writeBytes(ini(), "[Pips]\r\npip001=10.0.0.1\r\n");
    ASSERT_TRUE(store::CreateIniFile());
    EXPECT_EQ(store::ReadIniValue(ini(), u"pips"_s, u"pip001"_s), QString());
    ASSERT_TRUE(store::WriteIniValue(ini(), u"Pips"_s, u"pip001"_s, u"10.0.0.2"_s));
    ASSERT_TRUE(store::CreateIniFile());
    EXPECT_EQ(store::ReadIniValue(ini(), u"pips"_s, u"pip001"_s), u"10.0.0.2"_s);
}

TEST_F(Config, FailedRenewalKeepsTheOldFile) {
    const QByteArray old = "[General]\r\nver=1.0.0\r\n[Pips]\r\npip001=10.0.0.1\r\n";
    writeBytes(ini(), old);
    {
        TinyFileSizeLimit limit;
        EXPECT_FALSE(store::CreateIniFile());
    }
    EXPECT_EQ(readBytes(ini()), old);

    store::setProgramFolder(path(u"missing"_s));
    EXPECT_FALSE(store::CreateIniFile());
    EXPECT_FALSE(QFileInfo::exists(path(u"missing"_s)));
}

TEST_F(Config, SettingsReadAsWholeNumbers) {
    const struct {
        const char *text; // nullptr: no such key
        int expected;
    } cases[] = {
        {"150", 150},   {" 20abc", 20},   {"abc", 0},    {"", 0},         {nullptr, 0},    {"2.5", 2},
        {"3.5", 4},     {"-2.5", -2},     {"-7", -7},    {"+4", 4},       {"12.7kg", 13},  {".6", 1},
        {"1e3", 1000},  {"- 4", -4},      {"0x10", 0},   {"4 5", 45},     {"99999999999", INT_MAX},
        {"&H14", 20},   {"&o24", 20},
        {"-99999999999", INT_MIN},        {"1,5", 1},
    };
    for (const auto &c : cases) {
        if (c.text) ASSERT_TRUE(store::WriteIniValue(ini(), u"Settings"_s, u"TonerLow"_s, QString::fromUtf8(c.text)));
        else QFile::remove(ini());
        EXPECT_EQ(store::settingNumber(ini(), u"settings"_s, u"tonerlow"_s), c.expected)
            << (c.text ? c.text : "missing key");
    }
    EXPECT_DOUBLE_EQ(store::leadingNumber(u" -1.25 units"_s), -1.25);
}

} // namespace
