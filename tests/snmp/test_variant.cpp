#include "variant.h"

#include <gtest/gtest.h>

using namespace quorrel;

TEST(Variant, ReadsNumbersInTheirUsualForms) {
    struct Case {
        const char *text;
        std::optional<double> number;
    };
    const Case cases[] = {{"42", 42},     {" -7 ", -7},     {"+3", 3},        {"12.5", 12.5}, {".5", 0.5},
                          {"5.", 5},      {"1e3", 1000},    {"2.5E-1", 0.25}, {"", {}},       {" ", {}},
                          {"abc", {}},    {"12abc", {}},    {"1e", {}},       {"0x10", {}},   {"inf", {}},
                          {"1 2", {}},    {"--1", {}},      {".", {}},        {"Room 12", {}}};
    for (const Case &c : cases) EXPECT_EQ(readNumber(c.text), c.number) << c.text;
}

TEST(Variant, RoundsHalvesToEven) {
    EXPECT_EQ(toInt32(0.5), 0);
    EXPECT_EQ(toInt32(1.5), 2);
    EXPECT_EQ(toInt32(2.5), 2);
    EXPECT_EQ(toInt32(-2.5), -2);
    EXPECT_EQ(toInt32(std::string("13.5")), 14);
    EXPECT_EQ(toInt32(std::string("2.6")), 3);
    EXPECT_EQ(toInt32(Variant{}), 0);
}

TEST(Variant, FaultsOnTextAndOnOverflow) {
    const auto faultOf = [](auto convert) {
        try {
            convert();
        } catch (const Fault &fault) {
            return fault.number;
        }
        return 0;
    };
    EXPECT_EQ(faultOf([] { toInt32(std::string("abc")); }), 13);
    EXPECT_EQ(faultOf([] { toInt32(2147483648.0); }), 6);
    EXPECT_EQ(faultOf([] { toInt32(2147483647.5); }), 6); // rounds to 2^31
    EXPECT_EQ(faultOf([] { toInt32(std::string("1e999")); }), 6);
    EXPECT_EQ(faultOf([] { toInt16(32768.0); }), 6);
    EXPECT_EQ(toInt32(-2147483648.0), INT32_MIN);
    EXPECT_EQ(toInt32(std::string("1e-999")), 0);
    EXPECT_EQ(toInt16(std::string("-32768")), -32768);
}

TEST(Variant, WritesNumbersInTheirShortestForm) {
    EXPECT_EQ(toText(42.0), "42");
    EXPECT_EQ(toText(-12.5), "-12.5");
    EXPECT_EQ(toText(Variant{}), "");
    EXPECT_EQ(toText(std::string("Room 12")), "Room 12");
    EXPECT_TRUE(isNumeric(std::string(" 300 ")));
    EXPECT_FALSE(isNumeric(std::string("Room 12")));
    EXPECT_FALSE(isNumeric(Variant{}));
}
