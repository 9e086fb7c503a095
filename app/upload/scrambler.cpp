#include "scrambler.h"

#include "store/servicetable.h"

namespace upload {
namespace {

const QString &plainAlphabet() {
    static const QString alphabet =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789");
    return alphabet;
}

QString cipherAlphabet() {
    const QString &plain = plainAlphabet();
    return plain.mid(store::CipherKey) + plain.left(store::CipherKey);
}

QString substitute(const QString &text, const QString &from, const QString &to) {
    QString out = text;
    for (QChar &c : out) {
        const qsizetype at = from.indexOf(c);
        if (at >= 0) c = to[at];
    }
    return out;
}

} // namespace

QString EncodeText(const QString &text) { return substitute(text, plainAlphabet(), cipherAlphabet()); }

QString DecodeText(const QString &text) { return substitute(text, cipherAlphabet(), plainAlphabet()); }

} // namespace upload
