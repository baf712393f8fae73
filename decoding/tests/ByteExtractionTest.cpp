#include "decoding/ByteExtraction.h"

#include <gtest/gtest.h>

#include "core/WavImage.h"
#include "tests/support/TestSupport.h"

namespace ringlark {
namespace {

// start bit, eight data bits least significant first, stop bit
Bytes Frame(uint8_t byte) {
    Bytes bits = "0";
    for (int i = 0; i < 8; ++i) {
        bits += ((byte >> i) & 1) ? '1' : '0';
    }
    return bits + "1";
}

Bytes Frames(const Bytes& message) {
    Bytes bits;
    for (char c : message) {
        bits += Frame(static_cast<uint8_t>(c));
    }
    return bits;
}

const Bytes kSeizure = [] {
    Bytes bits;
    for (int i = 0; i < 150; ++i) {
        bits += "01";
    }
    return bits;
}();

struct TListing {
    std::vector<std::vector<Bytes>> Shown;
    TByteAnalyzer Analyzer;
    TListing() {
        Analyzer.ShowListing = [this](const std::vector<Bytes>& lines) { Shown.push_back(lines); };
    }
};

TEST(FrameToByte, DataBitsLeastSignificantFirst) {
    EXPECT_EQ(FrameToByte("0001000001"), 0x04);
    EXPECT_EQ(FrameToByte("1111111111"), 255);
    EXPECT_EQ(FrameToByte("1111"), 7);
    EXPECT_EQ(FrameToByte("0"), 0);
    EXPECT_EQ(FrameToByte(""), 0);
}

TEST(StringAnalyze, OnlyMarksGiveNothingAndShowNothing) {
    TListing t;
    EXPECT_EQ(t.Analyzer.StringAnalyze("1111111"), "");
    EXPECT_EQ(t.Analyzer.StringAnalyze(""), "");
    EXPECT_EQ(t.Analyzer.StringAnalyze("0101"), "");
    EXPECT_TRUE(t.Shown.empty());
}

TEST(StringAnalyze, SeizureMarkAndSdmfFrames) {
    TListing t;
    const Bytes message = test::HexBytes("04 0C 30 31 30 31 31 32 30 30 31 32 33 34 A1");
    EXPECT_EQ(t.Analyzer.StringAnalyze(kSeizure + Bytes(180, '1') + Frames(message)), message);
    ASSERT_EQ(t.Shown.size(), 1u);
    ASSERT_EQ(t.Shown[0].size(), 15u);
    EXPECT_EQ(t.Shown[0][0], Bytes("0001000001  Dec: 4  ASC: ") + '\x04');
    EXPECT_EQ(t.Shown[0][14], Bytes("0100001011  Dec: 161  ASC: ") + '\xA1');
}

TEST(StringAnalyze, TrailingMarksBecomeBytes) {
    TListing t;
    t.Analyzer.QuietAnalysis = true;
    const Bytes bits = Frames("\x82\x03") + Bytes(10, '1') + "1111";
    EXPECT_EQ(test::ToHex(t.Analyzer.StringAnalyze(bits)), "82 03 FF 07");
    EXPECT_TRUE(t.Shown.empty());
}

TEST(StringAnalyze, TestMessageNeedsTheSeizure) {
    TListing t;
    t.Analyzer.QuietAnalysis = true;
    const Bytes message = test::HexBytes("81 0C 02 0A 30 31 32 33 34 35 36 37 38 39 5A");
    EXPECT_EQ(t.Analyzer.StringAnalyze(kSeizure + Bytes(180, '1') + Frames(message)), message);
    // without a seizure the first frame's "01" is taken for one
    const Bytes bare = t.Analyzer.StringAnalyze(Frames(message));
    EXPECT_NE(bare, message);
    EXPECT_EQ(ByteAt(bare, 0), FrameToByte(Frames(message).substr(2, 10)));
}

TEST(StringAnalyze, EmptyListingAfterTheStripIsStillShown) {
    TListing t;
    EXPECT_EQ(t.Analyzer.StringAnalyze("0111"), "");
    ASSERT_EQ(t.Shown.size(), 1u);
    EXPECT_TRUE(t.Shown[0].empty());
}

TEST(StringAnalyze, SeizureEndingInZeroLosesTheFirstMarkBit) {
    TListing t;
    t.Analyzer.QuietAnalysis = true;
    // "...0101" + "0" then marks: the last "01" pair takes the first mark bit
    EXPECT_EQ(t.Analyzer
                  .StringAnalyze("0101"
                                 "0"
                                 "1" +
                                 Frame(0x80))
                  .size(),
              1u);
}

}  // namespace
}  // namespace ringlark
