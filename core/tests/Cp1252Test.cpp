#include "core/Cp1252.h"

#include <gtest/gtest.h>

namespace ringlark {
namespace {

TEST(Cp1252, AsciiPassesUnchanged) {
    EXPECT_EQ(Cp1252ToUtf8("Ringlark 123"), "Ringlark 123");
}

TEST(Cp1252, HighBytesBecomeWindowsCharacters) {
    EXPECT_EQ(Cp1252ToUtf8("\x80"), "\xE2\x82\xAC");  // euro sign
    EXPECT_EQ(Cp1252ToUtf8("\x82"), "\xE2\x80\x9A");  // single low quote
    EXPECT_EQ(Cp1252ToUtf8("\xFF"), "\xC3\xBF");      // y diaeresis
    EXPECT_EQ(Cp1252ToUtf8("\xE9"), "\xC3\xA9");
}

TEST(Cp1252, UndefinedCodesKeepLatin1CodePoints) {
    EXPECT_EQ(Cp1252ToUtf8("\x81"), "\xC2\x81");
    EXPECT_EQ(Cp1252ToUtf8("\x8D\x8F\x90\x9D"), "\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D");
}

TEST(Cp1252, ZeroByteIsKept) {
    const std::string withZero("a\0b", 3);
    EXPECT_EQ(Cp1252ToUtf8(withZero), withZero);
}

TEST(Cp1252, EveryByteRoundTrips) {
    for (int b = 0; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(one)), one) << b;
    }
}

TEST(Cp1252, UnmappableAndInvalidInput) {
    EXPECT_EQ(Utf8ToCp1252("\xE4\xB8\xAD"), "?");             // a CJK character
    EXPECT_EQ(Utf8ToCp1252("Zo\xC3\xAB"), "Zo\xEB");          // valid UTF-8
    EXPECT_EQ(Utf8ToCp1252("Zo\xEB"), "Zo\xEB");              // already single-byte
    EXPECT_EQ(Utf8ToCp1252("\xC3"), "\xC3");                  // cut sequence kept as a byte
    EXPECT_EQ(Utf8ToCp1252("\xED\xA0\x80"), "\xED\xA0\x80");  // surrogate: not UTF-8
}

}  // namespace
}  // namespace ringlark
