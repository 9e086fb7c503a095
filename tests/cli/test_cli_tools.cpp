// meterlane-cli's tools for administrators and scripts: scrambler, vendor table, ini access.
#include "support/realagents.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

using testsupport::runCommand;
using testsupport::splitLines;

namespace {

const std::string Cli = METERLANE_BIN_DIR "/meterlane-cli";
const std::map<std::string, std::string> LoopbackService{{"METERLANE_SERVICE_URL", "http://127.0.0.1:8099"}};

} // namespace

TEST(CliTools, EncodeAndDecodeAreInverse) {
    const std::string text = "10.0.0.5;MP C3003;E 12;1073741823;;YLK;004 §";
    const auto encoded = runCommand({Cli, "encode", text});
    ASSERT_EQ(encoded.status, 0);
    ASSERT_EQ(splitLines(encoded.out).size(), 1u);
    const std::string scrambled = splitLines(encoded.out)[0];
    EXPECT_NE(scrambled, text);
    EXPECT_EQ(scrambled.size(), text.size());
    const auto decoded = runCommand({Cli, "decode", scrambled});
    EXPECT_EQ(decoded.status, 0);
    EXPECT_EQ(decoded.out, text + "\n");
    EXPECT_EQ(runCommand({Cli, "encode"}).status, 2);
    EXPECT_EQ(runCommand({Cli, "decode", "a", "b"}).status, 2);
}

TEST(CliTools, VendorsListsTheTableThenTheDefaultDownload) {
    const auto result = runCommand({Cli, "vendors"}, LoopbackService);
    ASSERT_EQ(result.status, 0);
    const auto lines = splitLines(result.out);
    ASSERT_EQ(lines.size(), 11u);
    for (std::size_t i = 0; i < 10; ++i) {
        for (const char *field : {" upload=http://127.0.0.1:8099/", " download=", " announcement=", " startup-portal=",
                                  " portal-button="})
            EXPECT_NE(lines[i].find(field), std::string::npos) << lines[i];
        EXPECT_EQ(lines[i].find("<token>") != std::string::npos, i < 8) << lines[i];
    }
    EXPECT_EQ(lines[10], "(other) download=http://127.0.0.1:8099/meter/pips?cid=");
    EXPECT_EQ(runCommand({Cli, "vendors", "extra"}).status, 2);
}

TEST(CliTools, IniSetAndGetGoThroughTheConfigurationFile) {
    QTemporaryDir folder;
    const std::string ini = folder.filePath("meterlane.ini").toStdString();
    EXPECT_EQ(runCommand({Cli, "ini", "get", ini, "Settings", "TonerLow"}).status, 1); // no file yet
    EXPECT_EQ(runCommand({Cli, "ini", "set", ini, "Settings", "TonerLow", "25"}).status, 0);
    EXPECT_EQ(runCommand({Cli, "ini", "set", ini, "Pips", "pip001", "10.0.0.5:0;4;6;8"}).status, 0);
    const auto value = runCommand({Cli, "ini", "get", ini, "settings", "TONERLOW"});
    EXPECT_EQ(value.status, 0);
    EXPECT_EQ(value.out, "25\n");
    EXPECT_EQ(runCommand({Cli, "ini", "get", ini, "pips", "pip001"}).out, "10.0.0.5:0;4;6;8\n");
    EXPECT_EQ(runCommand({Cli, "ini", "get", ini, "pips", "pip002"}).out, "\n");

    QFile file(folder.filePath("meterlane.ini"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "[Settings]\r\nTonerLow=25\r\n[Pips]\r\npip001=10.0.0.5:0;4;6;8\r\n");

    const std::string nowhere = folder.filePath("missing/meterlane.ini").toStdString();
    EXPECT_EQ(runCommand({Cli, "ini", "set", nowhere, "A", "b", "c"}).status, 1);
    EXPECT_EQ(runCommand({Cli, "ini", "get", ini, "Settings"}).status, 2);
    EXPECT_EQ(runCommand({Cli, "ini", "put", ini, "A", "b", "c"}).status, 2);
}
