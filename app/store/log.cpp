#include "log.h"

#include "globals.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QRegularExpression>

namespace store {

// Qt's long time formats carry a time zone ("t", at the end in most locales, at the start in some); the general
// form never showed one, so it goes.
QString generalDateTime() {
    const QLocale locale = QLocale::system();
    static const QRegularExpression zone(QStringLiteral("^t+\\s*|\\s*t+$"));
    const QString time = locale.timeFormat(QLocale::LongFormat).remove(zone);
    return locale.toString(QDateTime::currentDateTime(), locale.dateFormat(QLocale::ShortFormat) + u' ' + time);
}

// Messages carry values from the network (a printer's serial number, a service's reply): a line break or any other
// control character among them would forge lines of their own, and a format character (a bidirectional override, a
// zero-width space) would make a line read other than it is written, so each is written as a blank. By code point:
// some format characters lie beyond the first plane.
QString oneLine(QString message) {
    for (qsizetype i = 0; i < message.size(); ++i) {
        const bool pair = message[i].isHighSurrogate() && i + 1 < message.size() && message[i + 1].isLowSurrogate();
        const char32_t c = pair ? QChar::surrogateToUcs4(message[i], message[i + 1]) : message[i].unicode();
        switch (QChar::category(c)) {
        case QChar::Other_Control:
        case QChar::Other_Format:
        case QChar::Separator_Line:
        case QChar::Separator_Paragraph: message.replace(i, pair ? 2 : 1, u' '); break;
        default: i += pair;
        }
    }
    return message;
}

void WriteLog(const QString &message) {
    // Each step does its part or nothing: a log that cannot be written never disturbs the caller.
    const QDir folder(globals().programFolder);
    folder.mkdir(QStringLiteral("log"));
    QFile file(folder.filePath(QStringLiteral("log/zov.log")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) return;
    const QString line = generalDateTime() + u' ' + globals().version + u' ' + oneLine(message);
    file.write((line + QStringLiteral("\r\n")).toUtf8());
    file.close();
}

} // namespace store
