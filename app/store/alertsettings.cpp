#include "alertsettings.h"

#include "globals.h"
#include "inifile.h"
#include "log.h"

#include <QFile>
#include <QFileInfo>
#include <QTextStream>

namespace store {
namespace {

const QString Conditions = QStringLiteral("Conditions");
const QString MutePrefix = QStringLiteral("Mute ");

// A whole number from least to most, else the default kept with a problem.
void readNumber(const IniFile &ini, const QString &key, int least, int most, int &field, QStringList &problems) {
    const auto value = ini.value(Conditions, key);
    if (!value || value->trimmed().isEmpty()) return;
    bool ok = false;
    const int number = value->trimmed().toInt(&ok);
    if (ok && number >= least && number <= most) {
        field = number;
        return;
    }
    problems << QStringLiteral("[%1] %2=%3 is no whole number from %4 to %5: %6 is used")
                    .arg(Conditions, key, oneLine(*value))
                    .arg(least)
                    .arg(most)
                    .arg(field);
}

void readNotifyFrom(const IniFile &ini, AlertSettings &settings) {
    const auto value = ini.value(Conditions, QStringLiteral("NotifyFrom"));
    if (!value || value->trimmed().isEmpty()) return;
    const QStringList names = {QStringLiteral("notice"), QStringLiteral("warning"), QStringLiteral("critical"),
                               QStringLiteral("none")};
    const qsizetype level = names.indexOf(value->trimmed().toLower());
    if (level >= 0)
        settings.notifyFrom = int(level) + 1;
    else
        settings.problems << QStringLiteral("[%1] NotifyFrom=%2 is none of critical, warning, notice, none: warning "
                                            "is used")
                                 .arg(Conditions, oneLine(*value));
}

void readMutes(const IniFile &ini, AlertSettings &settings) {
    for (const QString &section : ini.sections()) {
        if (!section.startsWith(MutePrefix, Qt::CaseInsensitive)) continue;
        AlertSettings::Mute mute;
        QString why;
        if (!parseAddressBlocks(ini.value(section, QStringLiteral("Hosts")).value_or(QString()), mute.blocks, why)) {
            settings.problems << QStringLiteral("[%1] left out: Hosts: %2").arg(section, why);
            continue;
        }
        mute.kinds = commaList(ini.value(section, QStringLiteral("Kinds")).value_or(QString()));
        if (mute.blocks.isEmpty() || mute.kinds.isEmpty()) {
            settings.problems << QStringLiteral("[%1] left out: it needs Hosts and Kinds").arg(section);
            continue;
        }
        settings.mutes << mute;
    }
}

bool mutesKind(const QStringList &kinds, const QString &kind, const QString &unit) {
    for (const QString &muted : kinds) {
        const qsizetype colon = muted.indexOf(u':');
        const QString mutedKind = colon < 0 ? muted : muted.left(colon).trimmed();
        if (mutedKind.compare(kind, Qt::CaseInsensitive) != 0) continue;
        if (colon < 0 || muted.mid(colon + 1).trimmed().compare(unit, Qt::CaseInsensitive) == 0) return true;
    }
    return false;
}

} // namespace

QStringList commaList(const QString &value) {
    QStringList items;
    for (const QString &item : value.split(u',', Qt::SkipEmptyParts))
        if (!item.trimmed().isEmpty()) items << item.trimmed();
    return items;
}

bool AlertSettings::muted(const QString &address, const QString &kind, const QString &unit) const {
    if (mutesKind(mutedEverywhere, kind, unit)) return true;
    const auto number = parseIpv4(address);
    for (const Mute &mute : mutes)
        if (number && std::any_of(mute.blocks.begin(), mute.blocks.end(),
                                  [&](const AddressBlock &block) { return block.contains(*number); }) &&
            mutesKind(mute.kinds, kind, unit))
            return true;
    return false;
}

AlertSettings parseAlertSettings(const QByteArray &bytes) {
    const IniFile ini = IniFile::parse(bytes);
    AlertSettings settings;
    readNumber(ini, QStringLiteral("PollMinutes"), 0, 24 * 60, settings.pollMinutes, settings.problems);
    readNumber(ini, QStringLiteral("PartsLow"), 0, 99, settings.partsLow, settings.problems);
    readNumber(ini, QStringLiteral("SilentHours"), 0, 24 * 365, settings.silentHours, settings.problems);
    readNumber(ini, QStringLiteral("NoReadingDays"), 0, 365, settings.noReadingDays, settings.problems);
    readNotifyFrom(ini, settings);
    settings.mutedEverywhere = commaList(ini.value(Conditions, QStringLiteral("Mute")).value_or(QString()));
    readMutes(ini, settings);
    return settings;
}

AlertSettings alertSettings() {
    static AlertSettings loaded;
    static QString loadedStamp;
    const QString path = handedInFile(AlertsFileName);
    const QFileInfo info(path);
    const QString stamp = changeStamp(path);
    if (stamp == loadedStamp) return loaded;
    loadedStamp = stamp;
    loaded = AlertSettings();
    QFile file(path);
    if (info.exists() && !file.open(QIODevice::ReadOnly))
        loaded.problems << QStringLiteral("cannot be read (%1): the defaults are used").arg(file.errorString());
    else if (info.exists())
        loaded = parseAlertSettings(file.readAll());
    for (const QString &problem : loaded.problems) {
        WriteLog(path + QStringLiteral(": ") + problem);
        QTextStream(stderr) << path << ": " << problem << "\n";
    }
    return loaded;
}

} // namespace store
