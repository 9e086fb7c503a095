// A file's bytes as tests compare them.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace testsupport {

// The bytes of the file at path; "<unreadable>" when it cannot be read, which no file a test expects holds.
inline QByteArray readBytes(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace testsupport
