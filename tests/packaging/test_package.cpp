// An installed copy and the Debian package, both made from this build: cmake --install into a temporary DESTDIR,
// whose meterlane-cli runs a cycle with a home of its own, and cpack's package with its contents and control fields.
#include "support/devservice.h"
#include "support/printers.h"
#include "support/qtapplication.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <filesystem>
#include <set>

using testsupport::runCommand;

namespace {

// The files and links below a folder, as paths relative to it.
std::set<std::string> filesBelow(const std::string &root) {
    std::set<std::string> files;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(root))
        if (!entry.is_directory()) files.insert(std::filesystem::relative(entry.path(), root).string());
    return files;
}

class Installed : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::ensureCoreApplication();
        const auto install = runCommand({CMAKE_COMMAND_PATH, "--install", METERLANE_BUILD_DIR, "--prefix", "/usr"},
                                        {{"DESTDIR", root()}});
        ASSERT_EQ(install.status, 0) << install.out << install.err;
    }

    std::string root(const std::string &path = {}) const { return destdir.path().toStdString() + "/" + path; }

    // The package of this build folder, made by cpack in home; empty when cpack failed.
    std::string package() {
        const std::string output = home.path().toStdString();
        const auto cpack = runCommand({CPACK_COMMAND_PATH, "-G", "DEB", "-B", output, "--config",
                                       METERLANE_BUILD_DIR "/CPackConfig.cmake"});
        EXPECT_EQ(cpack.status, 0) << cpack.out << cpack.err;
        return cpack.status == 0 ? output + "/meterlane_" METERLANE_VERSION "_" + architecture() + ".deb" : "";
    }

    static std::string architecture() {
        return testsupport::splitLines(runCommand({"dpkg", "--print-architecture"}).out).at(0);
    }

    QTemporaryDir destdir, home;
};

} // namespace

TEST_F(Installed, CliLoadsTheLibraryAndMapsFromItsPrivateFoldersAndWritesOnlyTheDataFolder) {
    testsupport::SimulatedPrinter hp("hp");
    ASSERT_AGENT(hp);
    testsupport::DevService service(home.filePath("service.sqlite"));
    ASSERT_FALSE(service.root().isEmpty());
    const QString data = home.filePath(".local/share/meterlane");
    ASSERT_TRUE(QDir().mkpath(data));
    QFile ini(data + "/meterlane.ini");
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[General]\r\nver=" METERLANE_VERSION "\r\n[Vendor]\r\nID=YLK\r\n[Pips]\r\npip001=" +
              QByteArray::fromStdString(hp.address()) + "\r\n");
    ini.close();

    const auto installed = filesBelow(root());
    const std::string h = home.path().toStdString();
    const auto cycle = runCommand(
        {root("usr/bin/meterlane-cli"), "cycle"},
        {{"HOME", h}, {"XDG_DATA_HOME", h + "/.local/share"}, {"XDG_STATE_HOME", h + "/.state"},
         {"XDG_CONFIG_HOME", h + "/.config"}, {"XDG_CACHE_HOME", h + "/.cache"}, {"LD_LIBRARY_PATH", ""},
         {"METERLANE_SERVICE_URL", service.root().toStdString()}, {"QUORREL_TIMEOUT_MS", "300"}});
    EXPECT_EQ(cycle.status, 0) << cycle.err;
    EXPECT_NE(cycle.err.find("Last Update "), std::string::npos) << cycle.err;
    EXPECT_EQ(filesBelow(root()), installed);
    EXPECT_TRUE(QFile::exists(data + "/log/zov.log"));
    const auto maps = runCommand({root("usr/bin/meterlane-cli"), "maps", "--folder", data.toStdString()},
                                 {{"METERLANE_SYSTEM_FOLDER", h + "/etc"}});
    EXPECT_EQ(maps.status, 0) << maps.err;
    EXPECT_EQ(maps.out.rfind("[HP] " + root("usr/share/meterlane/counter-maps.ini") + "\n", 0), 0u) << maps.out;

    // The printer was read through the library: its identity and counter reached the service.
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE");
    db.setDatabaseName(home.filePath("service.sqlite"));
    ASSERT_TRUE(db.open());
    QSqlQuery reading("SELECT identity, c2 FROM readings", db);
    ASSERT_TRUE(reading.next()) << cycle.err;
    EXPECT_EQ(reading.value(0).toString(), "CNRXB12345");
    EXPECT_EQ(reading.value(1).toLongLong(), 87654);
}

// The README's recipe for the system service, followed on fresh folders: the vendor's zov.vnd in /etc/meterlane; one
// cycle, by root, that makes the service's meterlane.ini and fetches the customer's printers; a printer of the
// operator's own added with meterlane-cli; then "systemctl enable --now": the folder handed to an unprivileged user,
// the installed unit's ExecStart run as that user with the unit's environment, until its first cycle (at the first
// tick, shortened from 30 s to 1 s) has sent both printers' readings. The installed tree's etc/meterlane (through METERLANE_SYSTEM_FOLDER)
// and var/lib/meterlane (in place of the unit's --folder) stand in for the machine's.
TEST_F(Installed, SystemServiceSetUpAsTheReadmeSaysSendsThePrintersReadings) {
    const auto printers = testsupport::startPrinters({"hp", "ricoh"});
    for (const auto &printer : printers) ASSERT_AGENT(*printer);
    const std::string listed = printers[0]->address(), own = printers[1]->address();
    testsupport::DevService service(home.filePath("service.sqlite"),
                                    {"--customer", "4711=" + QString::fromStdString(listed) + "§Hall"});
    ASSERT_FALSE(service.root().isEmpty());
    const std::string etc = root("etc/meterlane"), folder = root("var/lib/meterlane");
    const std::string cli = root("usr/bin/meterlane-cli");
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(etc)) && QDir().mkpath(QString::fromStdString(folder)));
    QFile vendorFile(QString::fromStdString(etc + "/zov.vnd"));
    ASSERT_TRUE(vendorFile.open(QIODevice::WriteOnly));
    vendorFile.write("[Vendor]\nID=YLK\nServiceRoot=" + service.root().toUtf8() + "\nCID=4711\n");
    vendorFile.close();
    const std::map<std::string, std::string> machine{{"METERLANE_SYSTEM_FOLDER", etc}, {"METERLANE_SERVICE_URL", ""}};
    const auto first = runCommand({cli, "cycle", "--folder", folder}, machine);
    EXPECT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(runCommand({cli, "ini", "set", folder + "/meterlane.ini", "Pips", "pip002", own}).status, 0);

    ASSERT_TRUE(QFile::setPermissions(destdir.path(), QFile::permissions(destdir.path()) | QFileDevice::ExeOther));
    ASSERT_EQ(runCommand({"chown", "-R", "nobody:nogroup", folder}).status, 0);
    QFile unit(QString::fromStdString(root("lib/systemd/system/meterlane.service")));
    ASSERT_TRUE(unit.open(QIODevice::ReadOnly));
    const QString execStart = QString::fromUtf8(unit.readAll()).section("\nExecStart=", 1).section('\n', 0, 0);
    QStringList command{"--reuid=nobody", "--regid=nogroup", "--clear-groups"};
    const QString standIn = QString::fromStdString(folder), bin = QString::fromStdString(root("usr/bin/"));
    for (QString word : execStart.split(' '))
        command << (word == "/var/lib/meterlane" ? standIn : word.replace("/usr/bin/", bin));
    QProcess daemon;
    QProcessEnvironment environment; // what systemd gives a unit without Environment= lines
    environment.insert("PATH", "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin");
    environment.insert("HOME", "/");
    environment.insert("METERLANE_SYSTEM_FOLDER", QString::fromStdString(etc));
    environment.insert("METERLANE_TICK_MS", "1000");
    for (const char *sanitizer : {"ASAN_OPTIONS", "UBSAN_OPTIONS"}) // those of a sanitized build's test run
        if (qEnvironmentVariableIsSet(sanitizer)) environment.insert(sanitizer, qEnvironmentVariable(sanitizer));
    daemon.setProcessEnvironment(environment);
    daemon.setStandardInputFile(QProcess::nullDevice());
    daemon.start("setpriv", command);
    ASSERT_TRUE(daemon.waitForStarted());

    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "service");
    db.setDatabaseName(home.filePath("service.sqlite"));
    ASSERT_TRUE(db.open());
    std::map<std::string, qint64> sent; // address → black-and-white total
    for (QDeadlineTimer deadline(90'000); sent.size() < 2 && !deadline.hasExpired() && !daemon.waitForFinished(500);) {
        QSqlQuery reading("SELECT address, c2 FROM readings", db);
        while (reading.next()) sent[reading.value(0).toString().toStdString()] = reading.value(1).toLongLong();
    }
    daemon.terminate();
    EXPECT_TRUE(daemon.waitForFinished(20'000));
    EXPECT_EQ(daemon.exitCode(), 0) << daemon.readAllStandardError().toStdString();
    EXPECT_EQ(sent, (std::map<std::string, qint64>{{listed, 87654}, {own, 92110}}));
}

// A zov.vnd put beside the installed programs leaves them installed: their files go to the user's data folder, never
// into /usr/bin. The installed tree's usr/bin stands in for /usr/bin, mounted there in a mount namespace of its own.
TEST_F(Installed, VendorFileBesideTheProgramsLeavesTheirFilesInTheDataFolder) {
    QFile vendorFile(QString::fromStdString(root("usr/bin/zov.vnd")));
    ASSERT_TRUE(vendorFile.open(QIODevice::WriteOnly));
    vendorFile.write("[Vendor]\r\nID=YLK\r\n");
    vendorFile.close();
    const auto installed = filesBelow(root());
    const auto cycle = runCommand(
        {"unshare", "-m", "bash", "-c", "mount --bind \"$1\" /usr/bin && exec /usr/bin/meterlane-cli cycle", "-",
         root("usr/bin")},
        {{"XDG_DATA_HOME", home.path().toStdString()}, {"METERLANE_SERVICE_URL", "http://127.0.0.1:9"}});
    EXPECT_NE(cycle.err.find("Last Update "), std::string::npos) << cycle.err;
    EXPECT_EQ(filesBelow(root()), installed);
    EXPECT_TRUE(QFile::exists(home.filePath("meterlane/meterlane.ini")));
}

TEST_F(Installed, EntriesServiceUnitAndLogRotationPassTheirValidators) {
    const auto entries = runCommand({"desktop-file-validate", root("usr/share/applications/meterlane.desktop"),
                                     root("etc/xdg/autostart/meterlane.desktop")});
    EXPECT_EQ(entries.status, 0) << entries.out << entries.err;
    EXPECT_EQ(entries.out, "");

    // The unit as installed, its program taken from the installed tree (verify wants it to exist).
    QFile unit(QString::fromStdString(root("lib/systemd/system/meterlane.service")));
    ASSERT_TRUE(unit.open(QIODevice::ReadOnly));
    QByteArray text = unit.readAll();
    ASSERT_TRUE(text.contains("\nExecStart=/usr/bin/meterlane-cli run --folder /var/lib/meterlane\n")) << text.data();
    EXPECT_TRUE(text.contains("\nRestrictAddressFamilies=AF_INET AF_INET6 ")) << text.data(); // an IPv6 service root
    text.replace("ExecStart=/usr/bin/", "ExecStart=" + QByteArray::fromStdString(root("usr/bin/")));
    QFile copy(home.filePath("meterlane.service"));
    ASSERT_TRUE(copy.open(QIODevice::WriteOnly));
    copy.write(text);
    copy.close();
    const auto verify = runCommand({"systemd-analyze", "verify", copy.fileName().toStdString()},
                                   {{"MANPATH", root("usr/share/man")}}); // its Documentation= page
    EXPECT_EQ(verify.status, 0) << verify.err;
    EXPECT_EQ(verify.err.find("meterlane"), std::string::npos) << verify.err; // its warnings name the unit

    const auto rotation = runCommand({"logrotate", "--debug", "--state", home.filePath("state").toStdString(),
                                      root("etc/logrotate.d/meterlane")});
    EXPECT_EQ(rotation.status, 0) << rotation.err;
    EXPECT_NE(rotation.err.find("rotating pattern: /var/lib/meterlane/log/zov.log "), std::string::npos)
        << rotation.err;
}

TEST_F(Installed, PackageHoldsTheInstalledTreeWithItsControlFields) {
    const std::string deb = package(), arch = architecture();
    ASSERT_FALSE(deb.empty());

    std::set<std::string> contents;
    for (const std::string &line : testsupport::splitLines(runCommand({"dpkg-deb", "-c", deb}).out))
        if (!line.empty() && line.front() != 'd') contents.insert(line.substr(line.find("./") + 2));
    const std::set<std::string> expected{"usr/bin/meterlane",
                                         "usr/bin/meterlane-cli",
                                         "usr/" METERLANE_LIBRARY_INSTALL_DIR "/libquorrel.so",
                                         "usr/share/meterlane/counter-maps.ini",
                                         "usr/share/applications/meterlane.desktop",
                                         "usr/share/icons/hicolor/scalable/apps/meterlane.svg",
                                         "usr/share/man/man1/meterlane.1.gz",
                                         "usr/share/man/man1/meterlane-cli.1.gz",
                                         "usr/share/doc/meterlane/copyright",
                                         "usr/share/doc/meterlane/changelog.gz",
                                         "etc/xdg/autostart/meterlane.desktop",
                                         "etc/logrotate.d/meterlane",
                                         "lib/systemd/system/meterlane.service"};
    EXPECT_EQ(contents, expected);
    EXPECT_EQ(filesBelow(root()), expected); // the package is the installed tree

    const auto fields = runCommand({"dpkg-deb", "-f", deb, "Package", "Version", "Section", "Architecture"});
    EXPECT_EQ(fields.out, "Package: meterlane\nVersion: " METERLANE_VERSION "\nSection: net\nArchitecture: " + arch +
                              "\n");
    const std::string depends = runCommand({"dpkg-deb", "-f", deb, "Depends"}).out;
    for (const char *dependency :
         {"iputils-ping", "libqt6svg6", "libqt6sql6-sqlite", "libqt6widgets6", "libcurl4", "libc6"})
        EXPECT_NE(depends.find(dependency), std::string::npos) << depends;
    EXPECT_NE(runCommand({"dpkg-deb", "-f", deb, "Maintainer"}).out.find('@'), std::string::npos);
    EXPECT_EQ(runCommand({"dpkg-deb", "--info", deb, "conffiles"}).out,
              "/etc/xdg/autostart/meterlane.desktop\n/etc/logrotate.d/meterlane\n");
    const auto lintian = runCommand({"lintian", "--fail-on", "error,warning", deb});
    EXPECT_EQ(lintian.status, 0) << lintian.out << lintian.err;
}

// The maintainer scripts as dpkg runs them where systemd runs (a private /run says so), the service tools recording
// their calls: a first install leaves the unit disabled and stopped, an upgrade restarts it where it runs, a removal
// stops it and a purge drops its enabling.
TEST_F(Installed, MaintainerScriptsKeepTheServiceInStepWithThePackage) {
    const std::string deb = package(), control = home.filePath("control").toStdString(),
                      tools = home.filePath("tools").toStdString(), calls = home.filePath("calls").toStdString();
    ASSERT_FALSE(deb.empty());
    ASSERT_EQ(runCommand({"dpkg-deb", "-e", deb, control}).status, 0);
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(tools)));
    for (const char *tool : {"/deb-systemd-helper", "/deb-systemd-invoke", "/systemctl"}) {
        QFile stub(QString::fromStdString(tools + tool));
        ASSERT_TRUE(stub.open(QIODevice::WriteOnly));
        stub.write("#!/bin/sh\necho \"${0##*/} $*\" >>\"$CALLS\"\n"
                   "case $1 in debian-installed|--quiet) [ -n \"$ENABLED\" ];; esac\n"); // was it enabled?
        stub.setPermissions(stub.permissions() | QFileDevice::ExeOwner);
    }
    const struct {
        std::vector<std::string> script;
        const char *enabled, *expected;
    } steps[] = {
        {{"postinst", "configure", ""}, "",
         "deb-systemd-helper debian-installed meterlane.service\ndeb-systemd-helper update-state meterlane.service\n"
         "systemctl --system daemon-reload\n"},
        {{"postinst", "configure", "2.7.8"}, "yes",
         "deb-systemd-helper debian-installed meterlane.service\ndeb-systemd-helper unmask meterlane.service\n"
         "deb-systemd-helper --quiet was-enabled meterlane.service\ndeb-systemd-helper enable meterlane.service\n"
         "deb-systemd-helper update-state meterlane.service\nsystemctl --system daemon-reload\n"
         "deb-systemd-invoke try-restart meterlane.service\n"},
        {{"prerm", "upgrade", "2.8.0"}, "yes", ""},
        {{"prerm", "remove"}, "yes", "deb-systemd-invoke stop meterlane.service\n"},
        {{"postrm", "remove"}, "yes", "systemctl --system daemon-reload\n"},
        {{"postrm", "purge"}, "yes", "deb-systemd-helper purge meterlane.service\n"},
    };
    for (const auto &step : steps) {
        std::vector<std::string> command{"unshare", "-m", "sh", "-c",
                                         "mount -t tmpfs none /run && mkdir -p /run/systemd/system && exec \"$@\"", "-",
                                         control + "/" + step.script[0]};
        command.insert(command.end(), step.script.begin() + 1, step.script.end());
        QFile::remove(QString::fromStdString(calls));
        const auto run = runCommand(command, {{"PATH", tools + ":" + qgetenv("PATH").toStdString()},
                                              {"CALLS", calls}, {"ENABLED", step.enabled}});
        EXPECT_EQ(run.status, 0) << run.err;
        QFile recorded(QString::fromStdString(calls));
        EXPECT_EQ((recorded.open(QIODevice::ReadOnly) ? recorded.readAll() : QByteArray()).toStdString(),
                  step.expected)
            << step.script[0] << " " << step.script[1];
    }
}
