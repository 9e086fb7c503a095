// The program's log: log/zov.log in the program folder, one time- and version-stamped line per call.
#pragma once

#include <QString>

namespace store {

// Appends "<local date> <local time> <version> <message>" and CR LF, as UTF-8, with the message's control
// characters and line separators written as blanks, so that one call is one line. The date and time use the system
// locale's short date and long time formats, without a time-zone part. Creates the log folder when missing; never
// fails visibly and keeps nothing open.
void WriteLog(const QString &message);

// The text with its control characters, format characters and line separators written as blanks, as the log writes
// a message: for every text from outside that is printed where a line break or a tab would forge a line or a field.
QString oneLine(QString text);

// The current date and time in the system's general form: its short date and long time, without a time zone.
QString generalDateTime();

} // namespace store
