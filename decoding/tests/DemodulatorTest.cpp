#include "decoding/Demodulator.h"

#include <gtest/gtest.h>

#include <cmath>

#include "decoding/tests/DecodingTestSupport.h"

namespace ringlark {
namespace {

// An image of square half waves: each entry is (half period in samples, count).
Bytes SquareImage(const std::vector<std::pair<int, int>>& runs, int high = 160, int low = 96) {
    Bytes image(WavHeaderSize, '\0');
    bool up = true;
    for (const auto& [half, count] : runs) {
        for (int c = 0; c < count; ++c) {
            image.append(static_cast<std::size_t>(half), static_cast<char>(up ? high : low));
            up = !up;
        }
    }
    return image;
}

Bytes Analyze(const Bytes& image, TAnalysisMethod method) {
    TDemodulator demodulator;
    demodulator.AnalysisMethod = method;
    return demodulator.Analyze(image);
}

TEST(EstimateOffset, RoundsHalvesToEven) {
    EXPECT_EQ(EstimateOffset(Bytes(WavHeaderSize, '\0') + Bytes(10, static_cast<char>(140))), 12);
    // mean 128.5 rounds to 128, mean 129.5 to 130
    EXPECT_EQ(EstimateOffset(Bytes(WavHeaderSize, '\0') + "\x80\x81"), 0);
    EXPECT_EQ(EstimateOffset(Bytes(WavHeaderSize, '\0') + "\x81\x82"), 2);
    EXPECT_EQ(EstimateOffset(Bytes(WavHeaderSize, '\0')), 0);
}

TEST(Analyze, EmptyImageGivesEmptyText) {
    TDemodulator demodulator;
    EXPECT_EQ(demodulator.Analyze(Bytes(WavHeaderSize, '\0')), "");
    EXPECT_EQ(demodulator.Analyze(Bytes(10, '\0')), "");
}

TEST(Analyze, MeanOf140GivesThreshold139) {
    Bytes image(WavHeaderSize, '\0');
    for (int i = 0; i < 200; ++i) {
        image += static_cast<char>(i % 20 < 10 ? 150 : 130);  // mean 140
    }
    for (TAnalysisMethod method : {TAnalysisMethod::ZeroCrossing, TAnalysisMethod::Peak}) {
        TDemodulator demodulator;
        demodulator.AnalysisMethod = method;
        demodulator.Analyze(image);
        EXPECT_EQ(demodulator.SignalOffset + 127, 139);
    }
}

TEST(Analyze, MarkRunOf367SamplesGivesTenOnes) {
    // events every 18 samples; the run from the first mark event to the space
    // that follows spans 367 samples
    const Bytes image = SquareImage({{18, 1}, {18, 20}, {7, 1}, {10, 40}});
    TDemodulator demodulator;
    std::vector<TDemodEvent> changes;
    demodulator.Analyze(image, [&](const TDemodEvent& e) {
        if (e.ClassChanged) {
            changes.push_back(e);
        }
    });
    ASSERT_GE(changes.size(), 2u);
    EXPECT_EQ(changes[1].Offset - changes[0].Offset, 367u);
    EXPECT_EQ(changes[1].RunBits, 10);
}

TEST(Analyze, SpaceRunsOver9BitsLeaveNoTrace) {
    // marks, then space half periods whose run spans 349 or 350 samples from its
    // first space event to the next mark event, then marks again
    const auto run = [](int lastHalf) {
        return Analyze(SquareImage({{18, 30}, {10, 1}, {10, 32}, {lastHalf, 1}, {18, 30}}),
                       TAnalysisMethod::ZeroCrossing);
    };
    const Bytes shortRun = run(11);  // 331 + 18 = 349 samples: 9.50 bits
    const Bytes longRun = run(12);   // 332 + 18 = 350 samples: 9.52 bits
    EXPECT_NE(shortRun.find("1" + Bytes(9, '0') + "1"), std::string::npos) << shortRun;
    EXPECT_EQ(longRun.find('0'), std::string::npos) << longRun;
}

TEST(Analyze, AlternatingBitsGiveAlternatingCharacters) {
    // one bit of 2200 Hz then one bit of 1200 Hz, 36.75 samples each
    Bytes image(WavHeaderSize, '\0');
    double phase = 0;
    for (int bit = 0; bit < 40; ++bit) {
        const double f = bit % 2 == 0 ? 2200 : 1200;
        const int n = (bit % 4 == 3) ? 36 : 37;
        for (int s = 0; s < n; ++s) {
            image += static_cast<char>(128 + static_cast<int>(std::trunc(std::sin(phase) * 60)));
            phase += 2 * M_PI * f / 44100;
        }
    }
    const Bytes bits = Analyze(image, TAnalysisMethod::ZeroCrossing);
    EXPECT_NE(bits.find("0101010101010101"), std::string::npos) << bits;
}

TEST(Analyze, EarliestOfEquallyLongBurstsWins) {
    // two bursts of the same length, marks then spaces and spaces then marks,
    // cut apart by jitter (crossings at distance 1 give no tone)
    std::vector<std::pair<int, int>> runs = {{18, 40}, {10, 30}};
    runs.push_back({1, 60});
    runs.push_back({10, 30});
    runs.push_back({18, 40});
    runs.push_back({1, 60});
    const Bytes bits = Analyze(SquareImage(runs), TAnalysisMethod::ZeroCrossing);
    ASSERT_FALSE(bits.empty());
    EXPECT_EQ(bits.front(), '1') << bits;
}

TEST(Analyze, ZeroCrossingCountsTheThresholdAsAbove) {
    // mean 128, threshold 127: 127 completes an upward crossing from 100, and
    // after 156 it is still above, so the downward crossing comes at 100
    Bytes image(WavHeaderSize, '\0');
    image += "\x64\x7F\x9C\x7F\x64\x9E";  // 100 127 156 127 100 158
    TDemodulator demodulator;
    std::vector<std::size_t> events;
    demodulator.Analyze(image, [&](const TDemodEvent& e) { events.push_back(e.Offset); });
    EXPECT_EQ(demodulator.SignalOffset, 0);
    EXPECT_EQ(events, (std::vector<std::size_t>{45, 48, 49}));
}

TEST(Analyze, NeverCrossingGivesEmptyTextPeakStillSeesCrests) {
    // a constant image never crosses its own threshold; a 1200 Hz tone wholly
    // above the threshold still makes one crest event per period
    EXPECT_EQ(
        Analyze(Bytes(WavHeaderSize, '\0') + Bytes(500, '\x90'), TAnalysisMethod::ZeroCrossing),
        "");
    Bytes image(WavHeaderSize, '\0');
    for (int i = 0; i < 2000; ++i) {
        image += static_cast<char>(
            200 + static_cast<int>(std::lround(20 * std::sin(2 * M_PI * 1200 * i / 44100))));
    }
    image += Bytes(20000, static_cast<char>(20));  // pull the mean (and threshold) below the tone
    TDemodulator demodulator;
    demodulator.AnalysisMethod = TAnalysisMethod::Peak;
    std::vector<TDemodEvent> events;
    demodulator.Analyze(image, [&](const TDemodEvent& e) { events.push_back(e); });
    ASSERT_GT(events.size(), 30u);
    for (std::size_t e = 2; e < 30; ++e) {
        EXPECT_NEAR(static_cast<double>(events[e].Distance), 36.75, 1.0);  // one crest per period
    }
}

TEST(Analyze, PeakNeedsFourSamplesSinceTheLastEvent) {
    Bytes image(WavHeaderSize, '\0');
    image += Bytes(20, '\x80');
    // crest at 64+1, then a second crest 3 samples later: no event for it
    image += "\x90\xA0\x90\x98\xA0\x90";
    image += Bytes(20, '\x80');
    TDemodulator demodulator;
    demodulator.AnalysisMethod = TAnalysisMethod::Peak;
    std::vector<std::size_t> events;
    demodulator.Analyze(image, [&](const TDemodEvent& e) { events.push_back(e.Offset); });
    EXPECT_EQ(events, (std::vector<std::size_t>{66}));
}

TEST(Analyze, UnknownMethodBecomesZero) {
    TDemodulator demodulator;
    demodulator.AnalysisMethod = static_cast<TAnalysisMethod>(7);
    demodulator.Analyze(Bytes(WavHeaderSize, '\0') + "\x80");
    EXPECT_EQ(demodulator.AnalysisMethod, TAnalysisMethod::ZeroCrossing);
}

}  // namespace
}  // namespace ringlark
