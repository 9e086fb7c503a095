// The site's choices of what it is told about its printers' condition, in alerts.ini: a file of its own that the
// program never writes and a new version never renews (meterlane.ini is renewed), in the folder systemd's
// LoadCredential= hands in, else the program folder, else the system folder. Its mail and webhook channels are
// read by alerts/channel.
//
//     [Conditions]
//     PollMinutes=5          ; the condition poll's interval; 0 polls only at the readings
//     NotifyFrom=warning     ; the lowest severity a desktop notice is given for: critical, warning, notice or none
//     SilentHours=4          ; hours without an answer before a silent printer is a condition
//     NoReadingDays=3        ; days without a reading the service took before a printer is a condition; 0: never
//     PartsLow=10            ; percent left at which a drum, fuser, kit or other supply but toner and ink is low, and
//                            ; space left at which a waste box is nearly full
//     Mute=paperOut:tray 1   ; kinds (kind, or kind:unit) that are no condition at any printer, separated by commas
//
//     [Mute Reception]       ; any number of sections whose name starts with "Mute "
//     Hosts=127.0.0.5        ; the addresses they concern, as in the credentials file
//     Kinds=paperOut, outputNearFull
#pragma once

#include "snmpprofiles.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace store {

inline const QString AlertsFileName = QStringLiteral("alerts.ini");

struct AlertSettings {
    int pollMinutes = 5;
    int notifyFrom = 2; // 1 notice, 2 warning, 3 critical, 4 none
    int silentHours = 4;
    int noReadingDays = 3;
    int partsLow = 10;
    QStringList mutedEverywhere;
    struct Mute {
        QList<AddressBlock> blocks;
        QStringList kinds;
    };
    QList<Mute> mutes;
    QStringList problems; // each value not used and why

    // Whether a condition of kind (and unit) is muted at the printer of address.
    bool muted(const QString &address, const QString &kind, const QString &unit) const;
};

// The items of a value separated by commas, trimmed, empty ones left out.
QStringList commaList(const QString &value);

// The settings of a file's bytes; a value that cannot be used keeps the default, with a problem naming it.
AlertSettings parseAlertSettings(const QByteArray &bytes);

// The settings in effect, read again when the file changes; problems are said (log and standard error) once per
// reading of the file.
AlertSettings alertSettings();

} // namespace store
