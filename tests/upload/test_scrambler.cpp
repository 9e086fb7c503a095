#include "upload/scrambler.h"
#include "store/servicetable.h"

#include "support/qtprint.h"

#include <gtest/gtest.h>

#include <QSet>

using upload::DecodeText;
using upload::EncodeText;

TEST(Scrambler, RotatesLettersAndDigitsAndKeepsEverythingElse) {
    const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789");
    const QString encoded = EncodeText(alphabet);
    EXPECT_EQ(encoded, alphabet.mid(store::CipherKey) + alphabet.left(store::CipherKey));
    EXPECT_EQ(QSet<QChar>(encoded.begin(), encoded.end()).size(), 62); // a permutation
    EXPECT_EQ(EncodeText(QString()), QString());
    EXPECT_EQ(EncodeText(QStringLiteral(";;. .;=:-§é")), QStringLiteral(";;. .;=:-§é"));
    EXPECT_NE(EncodeText(QStringLiteral("A")), EncodeText(QStringLiteral("a")));
}

TEST(Scrambler, DecodingGivesBackTheText) {
    for (const QString &text : {QStringLiteral("10.0.0.5;RICOH MP C3003;E1234;1073741823;;80;;YLK;004"),
                                QStringLiteral("Zz9 0aA"), QStringLiteral("Büro 2 — Stock §3")}) {
        const QString encoded = EncodeText(text);
        EXPECT_EQ(encoded.size(), text.size());
        EXPECT_EQ(DecodeText(encoded), text);
    }
}

TEST(Scrambler, SwappedCharactersStaySwapped) {
    const QString a = EncodeText(QStringLiteral("004")), b = EncodeText(QStringLiteral("400"));
    EXPECT_EQ(a[0], a[1]);
    EXPECT_EQ(a[0], b[1]);
    EXPECT_EQ(a[2], b[0]);
    EXPECT_NE(a[0], a[2]);
}

TEST(ServiceTable, ConstantsAreInTheirRanges) {
    EXPECT_GE(store::CipherKey, 1);
    EXPECT_LE(store::CipherKey, 61);
    EXPECT_GE(store::TokenOffset, 1000000);
    EXPECT_LE(store::TokenOffset, 9999999);
    for (qint32 constant : store::UploadOffsetKey) EXPECT_GE(constant, qint32{1} << 30);
}
