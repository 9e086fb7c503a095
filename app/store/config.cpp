#include "config.h"

#include "globals.h"
#include "inifile.h"

#include <QDir>
#include <QFileInfo>

#include <cmath>
#include <limits>

namespace store {
namespace {

constexpr qsizetype MaxValueLength = 249; // the value buffer the settings file has always been read with

void AddIniLine(QByteArray &file, const QString &line) { file += line.toUtf8() + "\r\n"; }

} // namespace

QString ReadIniValue(const QString &path, const QString &section, const QString &key) {
    try {
        const auto file = IniFile::load(path);
        QString text = file ? file->value(section, key).value_or(QString()) : QString();
        if (text.size() > MaxValueLength) {
            text.truncate(MaxValueLength);
            if (text.back().isHighSurrogate()) text.chop(1); // never half a character
        }
        return text;
    } catch (...) {
        return QString();
    }
}

bool WriteIniValue(const QString &path, const QString &section, const QString &key, const QString &value) {
    try {
        auto file = IniFile::load(path);
        return file && file->setValue(section, key, value) && file->save(path);
    } catch (...) {
        return false;
    }
}

bool CreateIniFile() {
    const Globals &values = globals();
    // Character by character by character code, not by number: "2.0.9" does not sort before "2.0.10".
    if (QFileInfo::exists(values.iniFile)) {
        const QString stored = ReadIniValue(values.iniFile, QStringLiteral("General"), QStringLiteral("ver"));
        if (!(stored < values.version)) return true;
    }

    const QString vendorFile = QDir(values.programFolder).filePath(QStringLiteral("zov.vnd"));
    QByteArray file;
    AddIniLine(file, QStringLiteral("[General]"));
    AddIniLine(file, QStringLiteral("ver=") + values.version);
    AddIniLine(file, QStringLiteral("[Settings]"));
    AddIniLine(file, QStringLiteral("StartupMinimized=1"));
    AddIniLine(file, QStringLiteral("TonerLow=20"));
    AddIniLine(file, QStringLiteral("TonerLowNotNotify=1"));
    AddIniLine(file, QStringLiteral("IntervalReadMinutes=150"));
    AddIniLine(file, QString());
    AddIniLine(file, QStringLiteral("[Vendor]"));
    AddIniLine(file, QStringLiteral("ID=") + ReadIniValue(vendorFile, QStringLiteral("Vendor"), QStringLiteral("ID")));
    AddIniLine(file, QString());
    AddIniLine(file, QStringLiteral("[Pips]"));
    for (int slot = 1; slot <= 10; ++slot)
        AddIniLine(file, QStringLiteral("pip%1=").arg(slot, 3, 10, QLatin1Char('0')));
    AddIniLine(file, QString());

    // Written over the old file in one step: a failed renewal keeps the old one instead of leaving none.
    return IniFile::parse(file).save(values.iniFile);
}

double leadingNumber(const QString &text) {
    qsizetype at = 0;
    while (at < text.size() && text[at].isSpace()) ++at;
    const qsizetype start = at;
    if (at < text.size() && (text[at] == u'+' || text[at] == u'-')) ++at;
    qsizetype digits = 0;
    const auto skipDigits = [&] {
        for (; at < text.size() && text[at] >= u'0' && text[at] <= u'9'; ++at) ++digits;
    };
    skipDigits();
    if (at < text.size() && text[at] == u'.') {
        ++at;
        skipDigits();
    }
    if (digits == 0) return 0;
    return text.mid(start, at - start).toDouble(); // C number format whatever the locale; too long gives ±inf
}

int settingNumber(const QString &path, const QString &section, const QString &key) {
    const double number = std::nearbyint(leadingNumber(ReadIniValue(path, section, key))); // halves to even
    if (number <= std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
    if (number >= std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    return static_cast<int>(number);
}

} // namespace store
