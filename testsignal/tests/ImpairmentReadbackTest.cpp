// Each FSK impairment generated, written to a file and read back by Ringlark's
// own measurements within their stated accuracy (README, "Signal
// measurements"): tones within 2 Hz (3 Hz through the telephone band at
// 8000/s), bit rates within 0.2 %, levels within 0.3 dB, seizure and mark
// bits within one bit, SNR within 1.5 dB.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>

#include "generation/MessageBuilder.h"
#include "measurement/Measurements.h"
#include "testsignal/tests/ReadbackSupport.h"

namespace ringlark {
namespace {

Bytes Message() {
    TCidRequest request;
    request.NumberText = "8005551212";
    request.NameText = "JOHN DOE";
    request.DateText = "1207";
    request.TimeText = "0930";
    return BuildCidMessage(request, {});
}

struct TRead {
    TCorrMessage Message;
    TFskMeasures Measures;
};

TRead ReadBack(const TTestSignal& signal, TSampleFormat format = TSampleFormat::S16) {
    const std::vector<float> x = test::ThroughFile(signal, format);
    const TCorrelationDecoder decoder = TCorrelationDecoder::For(signal.Standard);
    const auto found = decoder.Decode(x, signal.Rate);
    EXPECT_EQ(found.size(), 1u);
    if (found.empty()) {
        return {};
    }
    return {found[0], MeasureFsk(x, signal.Rate, found[0], decoder.Tones)};
}

double Db(double a) {
    return 20 * std::log10(a);
}

class FskReadback : public testing::TestWithParam<std::tuple<TCidStandard, int>> {};

TEST_P(FskReadback, EveryImpairmentAtOnceIsMeasuredBack) {
    const auto [standard, rate] = GetParam();
    const bool bell = standard == TCidStandard::Bell202;
    TTestSignal s;
    s.Standard = standard;
    s.Rate = rate;
    s.Message = Message();
    TImpairments& m = s.Impairments;
    m.LevelDbfs = -20;
    m.TwistDb = bell ? 6 : -5;
    m.MarkErrorPct = 1.3;
    m.SpaceErrorPct = -1.2;
    m.BaudErrorPct = -1.5;
    // Ringlark's decoder misses BT messages whose seizure after the alert is
    // shorter than BT's 300 (96, 120 and, with these impairments, 200 bits are
    // not decoded): BT keeps its own seizure here
    const int seizure = standard == TCidStandard::Bt ? 300 : 120;
    m.SeizureBits = seizure;
    m.MarkBits = 60;
    m.IdleBits = 3;
    m.SnrDb = 30;  // 28.5 dB in band in the measurements' own tests
    m.Seed = 7;
    const TRead read = ReadBack(s);
    EXPECT_EQ(read.Message.Message, s.Message);
    const TFskMeasures& got = read.Measures;
    const double mark = (bell ? 1200 : 1300) * 1.013, space = (bell ? 2200 : 2100) * 0.988;
    EXPECT_NEAR(got.MarkHz, mark, 2);
    EXPECT_NEAR(got.SpaceHz, space, 2);
    EXPECT_NEAR(got.MarkRunHz, mark, 2);
    EXPECT_NEAR(got.BitRate, 1200 * 0.985, 1200 * 0.002);
    EXPECT_NEAR(got.SeizureBitRate, 1200 * 0.985, 1200 * 0.002);
    EXPECT_NEAR(got.MarkDbfs, -20, 0.3);
    EXPECT_NEAR(got.SpaceDbfs, -20 - *m.TwistDb, 0.3);
    EXPECT_NEAR(got.TwistDb, *m.TwistDb, 0.4);
    EXPECT_NEAR(got.SeizureBits, seizure, 1);
    EXPECT_NEAR(got.MarkBits, 60, 1);
    ASSERT_TRUE(got.SnrDb.has_value());
    EXPECT_NEAR(*got.SnrDb, 30, 1.5);
    // three idle marks after every byte: 13 bits a byte, the last without them
    const double bits = static_cast<double>(s.Message.size()) * 13 - 3;
    EXPECT_NEAR(got.DurationSeconds * 1200 * 0.985, bits, 1);
}

TEST_P(FskReadback, TelephoneBandKeepsTheTonesAndItsGainIsTheFilters) {
    const auto [standard, rate] = GetParam();
    TTestSignal s;
    s.Standard = standard;
    s.Rate = rate;
    s.Message = Message();
    s.Impairments.LevelDbfs = -10;
    s.Impairments.TelephoneBand = true;
    const TRead read = ReadBack(s);
    const bool bell = standard == TCidStandard::Bell202;
    const double tolerance = rate == 8000 ? 3 : 2;
    EXPECT_NEAR(read.Measures.MarkHz, bell ? 1200 : 1300, tolerance);
    EXPECT_NEAR(read.Measures.SpaceHz, bell ? 2200 : 2100, tolerance);
    // the gain of the digital filters at f: z = e^jw through both sections
    const auto gain = [rate](double f) {
        const double w = 2 * M_PI * f / rate;
        const std::complex<double> z = std::polar(1.0, w);
        const auto section = [&z, rate](double hz, bool high) {
            const double w0 = 2 * M_PI * hz / rate, alpha = std::sin(w0) / std::sqrt(2.0);
            const double c = std::cos(w0);
            const double b0 = high ? (1 + c) / 2 : (1 - c) / 2, b1 = high ? -(1 + c) : 1 - c;
            const std::complex<double> zi = 1.0 / z;
            return std::abs((b0 + b1 * zi + b0 * zi * zi) /
                            ((1 + alpha) - 2 * c * zi + (1 - alpha) * zi * zi));
        };
        return Db(section(300, true) * section(std::min(3400.0, rate * 0.45), false));
    };
    const double levelTolerance = 0.3;
    EXPECT_NEAR(read.Measures.MarkDbfs, -10 + gain(bell ? 1200 : 1300), levelTolerance);
    EXPECT_NEAR(read.Measures.SpaceDbfs, -10 + gain(bell ? 2200 : 2100), levelTolerance);
}

INSTANTIATE_TEST_SUITE_P(Standards, FskReadback,
                         testing::Combine(testing::Values(TCidStandard::Bell202,
                                                          TCidStandard::EtsiV23, TCidStandard::Bt),
                                          testing::Values(8000, 44100)));

TEST(FskReadback, AlertToneLengthLevelFrequencyAndTwist) {
    for (int rate : {8000, 44100}) {
        for (TCidStandard standard : {TCidStandard::Bt, TCidStandard::EtsiV23}) {
            TTestSignal s;
            s.Standard = standard;
            s.Alert = true;
            s.Rate = rate;
            s.Message = Message();
            s.Impairments.AlertMs = 88;
            s.Impairments.AlertLevelDbfs = -25;
            s.Impairments.AlertErrorPct = 1;
            s.Impairments.AlertTwistDb = 4;
            const TRead read = ReadBack(s);
            ASSERT_TRUE(read.Measures.Alert.has_value()) << rate;
            const TAlertTone& a = *read.Measures.Alert;
            EXPECT_NEAR(a.Duration, 0.088, 0.001) << rate;
            EXPECT_NEAR(a.LowHz, 2130 * 1.01, 2130 * 0.001) << rate;
            EXPECT_NEAR(a.HighHz, 2750 * 1.01, 2750 * 0.001) << rate;
            EXPECT_NEAR(a.LowDbfs, -25, 0.3) << rate;
            EXPECT_NEAR(a.HighDbfs, -29, 0.3) << rate;
            EXPECT_NEAR(read.Measures.AlertGapSeconds, 0.060, 0.002) << rate;
        }
    }
}

TEST(FskReadback, CallWaitingAlertLengthOfBell202) {
    TTestSignal s;
    s.Signalling = TSignalling::CallWaiting;
    s.Message = Message();
    s.Impairments.AlertMs = 80;
    const TRead read = ReadBack(s);
    ASSERT_TRUE(read.Measures.Alert.has_value());
    EXPECT_NEAR(read.Measures.Alert->Duration, 0.080, 0.001);
    EXPECT_NEAR(read.Measures.Alert->LowDbfs, Db(63.0 / 128 / 2), 0.3);
    EXPECT_NEAR(read.Measures.MarkBits, 84, 1);
}

TEST(FskReadback, EightBitFilesAtEveryRateKeepTheTonesAndLevels) {
    for (int rate : {8000, 44100}) {
        TTestSignal s;
        s.Rate = rate;
        s.Message = Message();
        s.Impairments.MarkErrorPct = -1;
        const TRead read = ReadBack(s, TSampleFormat::U8);
        EXPECT_NEAR(read.Measures.MarkHz, 1188, 2) << rate;
        EXPECT_NEAR(read.Measures.MarkDbfs, Db(63.0 / 128), 0.3) << rate;
        EXPECT_EQ(read.Measures.SeizureBits, 300) << rate;
        EXPECT_EQ(read.Measures.MarkBits, 180) << rate;
    }
}

}  // namespace
}  // namespace ringlark
