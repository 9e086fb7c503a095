#include "config.h"

#include "globals.h"
#include "inifile.h"

#include <QFileInfo>

#include <cmath>
#include <limits>

namespace store {
namespace {

void AddIniLine(QByteArray &file, const QString &line) { file += line.toUtf8() + "\r\n"; }

// A digit of a "&H" or "&O" number, or -1.
int radixDigit(QChar c, int radix) {
    const char16_t u = c.toUpper().unicode();
    const int digit = u >= u'0' && u <= u'9' ? u - u'0' : u >= u'A' && u <= u'F' ? u - u'A' + 10 : -1;
    return digit < radix ? digit : -1;
}

// "&H" and "&O" numbers: up to 16 bits they read as a signed 16-bit value, up to 32 bits as a signed 32-bit one
// (so "&HFFFF" is -1); wider ones fit nowhere and give infinity.
double radixNumber(QStringView digits, int radix) {
    quint64 n = 0;
    for (const QChar c : digits) {
        const int digit = radixDigit(c, radix);
        if (digit < 0) break;
        n = n * radix + digit;
        if (n > 0xFFFFFFFFu) return std::numeric_limits<double>::infinity();
    }
    if (n <= 0xFFFF) return static_cast<qint16>(n);
    return static_cast<qint32>(n);
}

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
    QString serviceRoot; // the operator's, not a setting: it outlives the renewal
    // Character by character by character code, not by number: "2.0.9" does not sort before "2.0.10".
    if (QFileInfo::exists(values.iniFile)) {
        const QString stored = ReadIniValue(values.iniFile, QStringLiteral("General"), QStringLiteral("ver"));
        if (!(stored < values.version)) return true;
        serviceRoot = ReadIniValue(values.iniFile, QStringLiteral("Vendor"), QStringLiteral("ServiceRoot"));
    }

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
    AddIniLine(file, QStringLiteral("ID=") + vendorFileValue(QStringLiteral("ID")));
    if (!serviceRoot.isEmpty()) AddIniLine(file, QStringLiteral("ServiceRoot=") + serviceRoot);
    AddIniLine(file, QString());
    AddIniLine(file, QStringLiteral("[Pips]"));
    for (int slot = 1; slot <= 10; ++slot)
        AddIniLine(file, QStringLiteral("pip%1=").arg(slot, 3, 10, QLatin1Char('0')));
    AddIniLine(file, QString());

    // Written over the old file in one step: a failed renewal keeps the old one instead of leaving none.
    return IniFile::parse(file).save(values.iniFile);
}

QString vendorFileValue(const QString &key) {
    return ReadIniValue(programFile(QStringLiteral("zov.vnd")), QStringLiteral("Vendor"), key);
}

void readVendorValues() {
    Globals &values = globals();
    values.vendorId = ReadIniValue(values.iniFile, QStringLiteral("Vendor"), QStringLiteral("ID"));
    values.serviceRoot = ReadIniValue(values.iniFile, QStringLiteral("Vendor"), QStringLiteral("ServiceRoot"));
    if (values.serviceRoot.isEmpty()) values.serviceRoot = vendorFileValue(QStringLiteral("ServiceRoot"));
}

double leadingNumber(const QString &text) {
    QString compact;
    for (const QChar c : text)
        if (c != u' ' && c != u'\t' && c != u'\n') compact += c;
    if (compact.startsWith(QLatin1String("&H"), Qt::CaseInsensitive)) return radixNumber(QStringView(compact).mid(2), 16);
    if (compact.startsWith(QLatin1String("&O"), Qt::CaseInsensitive)) return radixNumber(QStringView(compact).mid(2), 8);

    qsizetype at = 0;
    const auto isDigit = [&](qsizetype i) { return i < compact.size() && compact[i] >= u'0' && compact[i] <= u'9'; };
    const auto skipDigits = [&](qsizetype &i) {
        const qsizetype start = i;
        while (isDigit(i)) ++i;
        return i - start;
    };
    if (at < compact.size() && (compact[at] == u'+' || compact[at] == u'-')) ++at;
    qsizetype digits = skipDigits(at);
    if (at < compact.size() && compact[at] == u'.') {
        ++at;
        digits += skipDigits(at);
    }
    if (digits == 0) return 0;
    QString number = compact.left(at);
    if (at < compact.size() && QStringLiteral("EeDd").contains(compact[at])) { // D marks a double's exponent
        qsizetype end = at + 1;
        if (end < compact.size() && (compact[end] == u'+' || compact[end] == u'-')) ++end;
        if (skipDigits(end) > 0) number += u'e' + compact.mid(at + 1, end - at - 1);
    }
    return number.toDouble(); // C number format whatever the locale; beyond a double gives ±inf
}

int settingNumber(const QString &path, const QString &section, const QString &key) {
    const double number = std::nearbyint(leadingNumber(ReadIniValue(path, section, key))); // halves to even
    if (number <= std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
    if (number >= std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    return static_cast<int>(number);
}

} // namespace store
