#include "codepage.h"

#include <gtest/gtest.h>

using namespace quorrel::codepage;

TEST(Codepage, EveryByteSurvivesARoundTrip) {
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    const std::string utf8 = toUtf8(all);
    EXPECT_EQ(fromUtf8(utf8), all);
    EXPECT_EQ(fromUtf8Lossy(utf8), all);
}

TEST(Codepage, MapsTheHighControlRangeLikeThePlatform) {
    EXPECT_EQ(toUtf8("\x80"), "\u20AC");
    EXPECT_EQ(toUtf8("\x9F"), "\u0178");
    EXPECT_EQ(toUtf8("\x81"), "\u0081"); // undefined in the code page: the C1 control of the same number
    EXPECT_EQ(toUtf8("p\xFC"
                     "bl"),
              "p\u00FCbl");
    EXPECT_EQ(fromUtf8("\u20AC 5"), std::string("\x80 5"));
}

TEST(Codepage, RefusesWhatHasNoPlaceAndReplacesItWhenLossy) {
    EXPECT_FALSE(fromUtf8("\u03A9"));        // Greek capital omega
    EXPECT_FALSE(fromUtf8("\xC3"));          // cut sequence
    EXPECT_FALSE(fromUtf8("\xC0\xAF"));      // overlong slash
    EXPECT_FALSE(fromUtf8("\xED\xA0\x80"));  // surrogate
    EXPECT_FALSE(fromUtf8("\xF4\x90\x80\x80")); // beyond U+10FFFF
    EXPECT_EQ(fromUtf8Lossy("a\u03A9b\xC3"), "a?b?");
    EXPECT_EQ(fromUtf8Lossy("\U0001F600"), "?");
}
