// The program's letter-and-digit scrambler for data placed in service addresses: a rotation of the 62 characters
// A-Z, a-z, 0-9 by the cipher key; every other character passes unchanged, so the length never changes.
#pragma once

#include <QString>

namespace upload {

QString EncodeText(const QString &text);
// The inverse, as the service applies it.
QString DecodeText(const QString &text);

} // namespace upload
