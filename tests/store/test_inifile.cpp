// The ini reader and writer on files as people and other programs leave them: editor line ends, odd spacing,
// comments, duplicates, encodings; and writes that touch only the line they concern.
#include "store/inifile.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

using store::IniFile;
using namespace Qt::StringLiterals;

// An editor-written file: LF ends, odd spacing, comments, duplicates, text before the first section, no final
// line end.
constexpr char EditorFile[] = "stray=before the first section\n"
                              "[Settings]\n"
                              "StartupMinimized=1\n"
                              "  TonerLow   =   20  \t\n"
                              "Url=http://host/x?a=b&c=d\n"
                              "; Hidden=1\n"
                              "IntervalReadMinutes=150\n"
                              "intervalreadminutes=99\n"
                              "Empty=\n"
                              "Quoted=\"  spaced  \"\n"
                              "Single='x'\n"
                              "Unbalanced=\"x\n"
                              "NoEqualsSign\n"
                              "[ Pips ]\n"
                              "pip001=10.0.0.1\n"
                              "[settings]\n"
                              "Extra=second section of the same name\n"
                              "[Last]\n"
                              "final=yes";

struct ReadCase {
    const char *section, *key;
    std::optional<QString> expected;
};

TEST(IniFileRead, FindsValuesAsTheProgramExpects) {
    const IniFile file = IniFile::parse(EditorFile);
    const ReadCase cases[] = {
        {"Settings", "StartUpMinimized", u"1"_s},
        {"SETTINGS", "tonerlow", u"20"_s},
        {"Settings", "Url", u"http://host/x?a=b&c=d"_s},
        {"Settings", "IntervalReadMinutes", u"150"_s},
        {"Settings", "Empty", u""_s},
        {"Settings", "Quoted", u"  spaced  "_s},
        {"Settings", "Single", u"x"_s},
        {"Settings", "Unbalanced", u"\"x"_s},
        {"pips", "PIP001", u"10.0.0.1"_s},
        {" Pips ", " pip001 ", u"10.0.0.1"_s},
        {"Last", "final", u"yes"_s},
        {"Settings", "Hidden", std::nullopt},
        {"Settings", "; Hidden", std::nullopt},
        {"Settings", "NoEqualsSign", std::nullopt},
        {"Settings", "Extra", std::nullopt},
        {"Settings", "stray", std::nullopt},
        {"Settings", "pip001", std::nullopt},
        {"Missing", "final", std::nullopt},
    };
    for (const ReadCase &c : cases)
        EXPECT_EQ(file.value(QString::fromUtf8(c.section), QString::fromUtf8(c.key)), c.expected)
            << c.section << "/" << c.key;
}

TEST(IniFileRead, DecodesUtf8WithOrWithoutBomElseWindows1252) {
    const struct {
        QByteArray bytes;
        QString expected;
    } cases[] = {
        {"\xEF\xBB\xBF[Pips]\r\npip001=caf\xC3\xA9\r\n", u"caf\u00E9"_s},
        {"[Pips]\r\npip001=caf\xC3\xA9", u"caf\u00E9"_s},
        {"[Pips]\r\npip001=caf\xE9\r\n", u"caf\u00E9"_s},
        {"[Pips]\r\npip001=\xC3\r\n", u"\u00C3"_s}, // a lone lead byte: the code page, not a replacement character
        {"\xEF\xBB\xBF[Pips]\r\npip001=\xFF\xFE\r\n", u"\u00FF\u00FE"_s},
        {"\xEF\xBB\xBF\xEF\xBB\xBF\xEF\xBB\xBF[Pips]\npip001=x", u"x"_s}, // found by the fuzzer
    };
    for (const auto &c : cases)
        EXPECT_EQ(IniFile::parse(c.bytes).value(u"pips"_s, u"pip001"_s), c.expected) << c.bytes.toHex().data();
}

TEST(IniFileWrite, EachLineReadInItsOwnEncodingAndUntouchedLinesKeepTheirBytes) {
    const QByteArray before = "[pipsinfo]\r\npip001=B\xC3\xBCro\r\npip002=Kasse \x80\r\n";
    IniFile file = IniFile::parse(before);
    EXPECT_EQ(file.value(u"pipsinfo"_s, u"pip001"_s), u"B\u00FCro"_s);
    EXPECT_EQ(file.value(u"pipsinfo"_s, u"pip002"_s), u"Kasse \u20AC"_s);
    ASSERT_TRUE(file.setValue(u"pipsinfo"_s, u"pip003"_s, u"Stra\u00DFe"_s));
    EXPECT_EQ(file.serialize(), before + "pip003=Stra\xC3\x9F" "e\r\n");
}

struct WriteCase {
    const char *name, *before, *section, *key, *value, *after;
};

TEST(IniFileWrite, ChangesOnlyTheLineConcerned) {
    const WriteCase cases[] = {
        {"replaced in place, the rest byte for byte",
         "; settings file\r\n[Settings]\r\n  TonerLow   =   20  \r\nUnknown = kept  \r\n\r\n[Pips]\r\npip001=a\r\n",
         "settings", "TONERLOW", "35",
         "; settings file\r\n[Settings]\r\n  TonerLow   =35\r\nUnknown = kept  \r\n\r\n[Pips]\r\npip001=a\r\n"},
        {"empty value keeps the key",
         "[Pips]\r\npip003=10.0.0.3\r\n", "Pips", "pip003", "", "[Pips]\r\npip003=\r\n"},
        {"new key after the section's last key, before its blank lines and trailing comment",
         "[Pips]\r\npip001=a\r\n; end\r\n\r\n[Vendor]\r\nID=7\r\n", "pips", "pip002", "b",
         "[Pips]\r\npip001=a\r\npip002=b\r\n; end\r\n\r\n[Vendor]\r\nID=7\r\n"},
        {"new key in a section without keys goes under its header",
         "[Vendor]\r\n\r\n[Pips]\r\n", "Vendor", "CID", "42", "[Vendor]\r\nCID=42\r\n\r\n[Pips]\r\n"},
        {"new section at the end", "[General]\r\nver=2.0.1\r\n\r\n", "pipsinfo", "pip001", "Floor 2",
         "[General]\r\nver=2.0.1\r\n\r\n[pipsinfo]\r\npip001=Floor 2\r\n"},
        {"empty file", "", "Pips", "pip001", "x", "[Pips]\r\npip001=x\r\n"},
        {"first of duplicate sections and keys", "[Pips]\r\npip001=a\r\npip001=b\r\n[PIPS]\r\npip001=c\r\n",
         "Pips", "pip001", "z", "[Pips]\r\npip001=z\r\npip001=b\r\n[PIPS]\r\npip001=c\r\n"},
        {"'=' in the value", "[Pips]\r\npip001=a=b\r\n", "Pips", "pip001", "host:1.3.6=x",
         "[Pips]\r\npip001=host:1.3.6=x\r\n"},
        {"line breaks in the value become blanks", "[Pips]\r\n", "Pips", "pip001", "a\r\n[Vendor]\nCID=1",
         "[Pips]\r\npip001=a  [Vendor] CID=1\r\n"},
        {"LF ends and a missing final line end become CR LF", "[Pips]\npip001=a\n[Vendor]\nID=7", "Vendor", "CID",
         "1", "[Pips]\r\npip001=a\r\n[Vendor]\r\nID=7\r\nCID=1\r\n"},
    };
    for (const WriteCase &c : cases) {
        IniFile file = IniFile::parse(c.before);
        EXPECT_TRUE(file.setValue(QString::fromUtf8(c.section), QString::fromUtf8(c.key), QString::fromUtf8(c.value)))
            << c.name;
        EXPECT_EQ(file.serialize(), QByteArray(c.after)) << c.name;
    }
}

TEST(IniFileWrite, RefusesNamesALineCannotHold) {
    const char *const before = "[Pips]\r\npip001=a\r\n";
    const std::pair<QString, QString> names[] = {
        {u""_s, u"pip001"_s},  {u"Pips"_s, u"  "_s},        {u"Pips\r\n[X"_s, u"k"_s},
        {u"Pi]ps"_s, u"k"_s},  {u"Pips"_s, u"a=b"_s},       {u"Pips"_s, u";k"_s},
        {u"Pips"_s, u"[k"_s},  {u"Pips"_s, u"k\nl"_s},
    };
    for (const auto &[section, key] : names) {
        IniFile file = IniFile::parse(before);
        EXPECT_FALSE(file.setValue(section, key, u"v"_s)) << qPrintable(section) << "/" << qPrintable(key);
        EXPECT_EQ(file.serialize(), QByteArray(before));
    }
}

} // namespace
