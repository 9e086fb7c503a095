// The configuration file: every read and write of a setting or printer record goes through ReadIniValue and
// WriteIniValue; CreateIniFile creates or renews the file at start-up.
#pragma once

#include <QString>

namespace store {

// The value of key in section of the ini file at path, cut to its first 249 characters. Empty when the file, the
// section or the key is missing, and on any failure.
QString ReadIniValue(const QString &path, const QString &section, const QString &key);

// Sets key in section of the ini file at path, creating the file, section and key as needed. True on success;
// callers may ignore the result, a failure leaves the file as it was.
bool WriteIniValue(const QString &path, const QString &section, const QString &key, const QString &value);

// At start-up: writes the default file at globals().iniFile when none exists or when its [General] ver sorts
// before globals().version as text (a missing ver counts as older); a file with the same or a later ver is kept.
// False when the new file could not be written; the old file then stays as it was.
bool CreateIniFile();

// Settings are numbers stored as text: the leading decimal number counts ("20abc" is 20, " -1.5" is -1.5), a text
// without one counts as 0.
double leadingNumber(const QString &text);

// A setting read as a whole number: its leading number rounded to the nearest whole number, halves to even, kept
// within the range of int. A missing key counts as 0.
int settingNumber(const QString &path, const QString &section, const QString &key);

} // namespace store
