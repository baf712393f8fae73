#include "measurement/Sonogram.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tests/support/TestSignals.h"

namespace ringlark {
namespace {

TEST(Sonogram, AToneLiesInItsRowAtItsLevel) {
    const double rate = 44100;
    std::vector<float> samples;
    for (int i = 0; i < 44100 / 10; ++i) {
        samples.push_back(static_cast<float>(0.5 * std::sin(2 * M_PI * 1200 * i / rate)));
    }
    const TSonogram s = ComputeSonogram(samples, rate, 0.02, 0.08, 10, 401, 4000);
    ASSERT_EQ(s.Columns, 10);
    ASSERT_EQ(s.Bins, 401);
    EXPECT_EQ(s.BinOf(1200), 120);
    for (int c = 0; c < s.Columns; ++c) {
        int loudest = 0;
        for (int b = 0; b < s.Bins; ++b) {
            loudest = s.At(c, b) > s.At(c, loudest) ? b : loudest;
        }
        EXPECT_NEAR(loudest, 120, 1) << c;
        EXPECT_NEAR(s.At(c, loudest), 20 * std::log10(0.5), 0.5) << c;  // -6 dBFS
        EXPECT_LT(s.At(c, s.BinOf(2200)), s.At(c, loudest) - 40) << c;
    }
}

TEST(Sonogram, FskShowsBothTonesOverTime) {
    TFskSignal signal;
    signal.Rate = 8000;
    const auto samples = SynthesiseFsk(RandomMdmfMessage(1), signal);
    // the seizure alternates both tones; the mark run holds the mark alone
    const double seizureEnd = 300 / 1200.0;
    const TSonogram seizure = ComputeSonogram(samples, 8000, 0.01, seizureEnd - 0.01, 20, 201);
    const TSonogram mark =
        ComputeSonogram(samples, 8000, seizureEnd + 0.02, seizureEnd + 0.12, 20, 201);
    double seizureSpace = 0, markSpace = 0, markMark = 0;
    for (int c = 0; c < 20; ++c) {
        seizureSpace += seizure.At(c, seizure.BinOf(2200)) / 20;
        markSpace += mark.At(c, mark.BinOf(2200)) / 20;
        markMark += mark.At(c, mark.BinOf(1200)) / 20;
    }
    EXPECT_GT(seizureSpace, markSpace + 20);
    EXPECT_GT(markMark, markSpace + 30);
    EXPECT_TRUE(ComputeSonogram(samples, 8000, 1, 0.5, 20, 201).Db.empty());
}

}  // namespace
}  // namespace ringlark
