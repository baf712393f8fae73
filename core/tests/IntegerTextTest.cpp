#include "core/IntegerText.h"

#include <gtest/gtest.h>

namespace ringlark {
namespace {

TEST(StandardInteger, DecimalWithSpacesAndSign) {
    EXPECT_EQ(ParseStandardInteger("63"), 63);
    EXPECT_EQ(ParseStandardInteger("   -12"), -12);
    EXPECT_EQ(ParseStandardInteger("+7"), 7);
    EXPECT_EQ(ParseStandardInteger("2147483647"), 2147483647);
    EXPECT_EQ(ParseStandardInteger("-2147483648"), INT32_MIN);
}

TEST(StandardInteger, HexPrefixes) {
    EXPECT_EQ(ParseStandardInteger("$3F"), 63);
    EXPECT_EQ(ParseStandardInteger("x3f"), 63);
    EXPECT_EQ(ParseStandardInteger("X3F"), 63);
    EXPECT_EQ(ParseStandardInteger("0x3F"), 63);
    EXPECT_EQ(ParseStandardInteger("0X3f"), 63);
    EXPECT_EQ(ParseStandardInteger("$FFFFFFFF"), -1);
    EXPECT_EQ(ParseStandardInteger("-$10"), -16);
}

TEST(StandardInteger, NotIntegers) {
    for (const char* text : {"", " ", "-", "$", "0x", "12 ", "1.5", "abc", "2147483648",
                             "-2147483649", "$100000000", "99999999999999999999", "3F"}) {
        EXPECT_FALSE(ParseStandardInteger(text).has_value()) << text;
    }
}

}  // namespace
}  // namespace ringlark
