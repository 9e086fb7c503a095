// The log as tests read it: the message of each line, without its date, time and version.
#pragma once

#include "store/globals.h"

#include <QFile>
#include <QString>
#include <QStringList>

namespace testsupport {

inline QStringList logMessages() {
    QFile file(store::globals().programFolder + QStringLiteral("/log/zov.log"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QString stamp = u' ' + store::globals().version + u' ';
    QStringList messages;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
        messages << line.section(stamp, 1);
    return messages;
}

} // namespace testsupport
