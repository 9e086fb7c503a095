// The configuration file: every read and write of a setting or printer record goes through ReadIniValue and
// WriteIniValue; CreateIniFile creates or renews the file at start-up.
#pragma once

#include <QString>

namespace store {

// The longest value ReadIniValue gives: the value buffer the settings file has always been read with.
constexpr qsizetype MaxValueLength = 249;

// The value of key in section of the ini file at path, cut to its first MaxValueLength characters. Empty when the
// file, the section or the key is missing, and on any failure.
QString ReadIniValue(const QString &path, const QString &section, const QString &key);

// Sets key in section of the ini file at path, creating the file, section and key as needed. True on success;
// callers may ignore the result, a failure leaves the file as it was.
bool WriteIniValue(const QString &path, const QString &section, const QString &key, const QString &value);

// At start-up: writes the default file at globals().iniFile when none exists or when its [General] ver sorts
// before globals().version as text (a missing ver counts as older); a file with the same or a later ver is kept.
// A renewal keeps the old file's [Vendor] ServiceRoot, the line after ID=. False when the new file could not be
// written; the old file then stays as it was.
bool CreateIniFile();

// A value of section [Vendor] of the vendor's file zov.vnd (see programFile), which the program never writes.
QString vendorFileValue(const QString &key);

// At start-up, after CreateIniFile: [Vendor] ID of the configuration file, and its [Vendor] ServiceRoot, else that of
// zov.vnd, into the globals, where they stay for the whole run.
void readVendorValues();

// The lenient leading-number scan that settings and readings are taken with: blanks, tabs and line feeds count for
// nothing anywhere ("1 000" is 1000), then a signed decimal number with an optional exponent ("12E3", "1D2"), or a
// "&H" hexadecimal or "&O" octal whole number; "20abc" is 20, a text without a number is 0.
double leadingNumber(const QString &text);

// A setting read as a whole number: its leading number rounded to the nearest whole number, halves to even, kept
// within the range of int. A missing key counts as 0.
int settingNumber(const QString &path, const QString &section, const QString &key);

} // namespace store
