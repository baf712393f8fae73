#include "generation/FskSynth.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/WavImage.h"
#include "generation/MessageBuilder.h"
#include "generation/workflow/GenerationDriver.h"
#include "tests/support/TestSupport.h"

namespace ringlark {
namespace {

std::vector<int> Samples(const Bytes& stream, std::size_t from, std::size_t count) {
    std::vector<int> out;
    for (std::size_t i = from; i < from + count && i < stream.size(); ++i) {
        out.push_back(ByteAt(stream, i));
    }
    return out;
}

std::pair<int, int> Range(const Bytes& stream, std::size_t from, std::size_t to) {
    const auto first = stream.begin() + static_cast<std::ptrdiff_t>(from);
    const auto last = stream.begin() + static_cast<std::ptrdiff_t>(to);
    const auto [lo, hi] = std::minmax_element(first, last, [](char a, char b) {
        return static_cast<uint8_t>(a) < static_cast<uint8_t>(b);
    });
    return {static_cast<uint8_t>(*lo), static_cast<uint8_t>(*hi)};
}

const Bytes kSdmfExample = test::HexBytes("04 0C 30 31 30 31 31 32 30 30 31 32 33 34 A1");

TEST(FskSynthStart, FirstEightSamplesOfFirstGeneration) {
    TFskSynth synth;
    const Bytes image = SynthesiseImage(synth, kSdmfExample, TSignalling::OnHook);
    EXPECT_EQ(Samples(image, WavHeaderSize, 8),
              (std::vector<int>{128, 147, 164, 178, 187, 190, 187, 179}));
}

TEST(FskSynthStart, SdmfImageLengthsDependOnBitCounter) {
    TFskSynth synth;
    const Bytes first = SynthesiseImage(synth, kSdmfExample, TSignalling::OnHook);
    EXPECT_EQ(first.size() - WavHeaderSize, 23153u);
    EXPECT_EQ(synth.BitCounter(), 450);
    const Bytes second = SynthesiseImage(synth, kSdmfExample, TSignalling::OnHook);
    EXPECT_EQ(second.size() - WavHeaderSize, 23152u);
    EXPECT_NE(first.substr(WavHeaderSize, 1000), second.substr(WavHeaderSize, 1000));
}

TEST(FskSynthBits, LengthsRotate37373736) {
    TFskSynth synth;
    std::vector<std::size_t> lengths;
    Bytes stream;
    for (int i = 0; i < 8; ++i) {
        const std::size_t before = stream.size();
        synth.SendBit(stream, i % 2 == 0);
        lengths.push_back(stream.size() - before);
    }
    EXPECT_EQ(lengths, (std::vector<std::size_t>{37, 37, 37, 36, 37, 37, 37, 36}));
}

TEST(FskSynthBits, SeizureAlwaysTakes11025Samples) {
    TFskSynth synth;
    for (int offset = 0; offset < 4; ++offset) {
        Bytes stream;
        synth.SendBytes(stream, Bytes(30, 'U'));
        EXPECT_EQ(stream.size(), 11025u) << "bit counter offset " << offset;
        synth.SendBit(stream, true);  // shift the rotation for the next round
    }
}

TEST(FskSynthBits, ByteTakes367Or368Samples) {
    TFskSynth synth;
    Bytes stream;
    synth.SendByte(stream, 0x00);
    EXPECT_EQ(stream.size(), 368u);  // bits 1..10: two of them (4 and 8) are short
    stream.clear();
    synth.SendByte(stream, 0x00);  // bits 11..20: 12, 16 and 20 are short
    EXPECT_EQ(stream.size(), 367u);
}

TEST(FskSynthPreamble, CallWaitingTakes29547SamplesBeforeMessage) {
    TFskSynth synth;
    const Bytes image = SynthesiseImage(synth, Bytes(), TSignalling::CallWaiting);
    EXPECT_EQ(image.size() - WavHeaderSize, 29547u);
    // silence sits between the dual tone and the mark
    const std::size_t silenceStart = WavHeaderSize + 13230 + 4410;
    EXPECT_EQ(Range(image, silenceStart, silenceStart + 8820), std::make_pair(128, 128));
    EXPECT_NE(ByteAt(image, silenceStart - 1), 128);
}

TEST(FskSynthPreamble, DualToneHasItsOwnPhasesFromZero) {
    TFskSynth synth;
    Bytes stream;
    synth.SendBit(stream, true);
    const double phase = synth.Phase();
    Bytes first, second;
    synth.DualTone(first);
    synth.DualTone(second);
    EXPECT_EQ(first, second);
    EXPECT_EQ(synth.Phase(), phase);
    EXPECT_EQ(ByteAt(first, 0), 128);  // both phases start at zero
}

TEST(FskSynthPreamble, Tone440SharesThePhaseWithTheMark) {
    TFskSynth synth;
    Bytes stream;
    synth.Tone440(stream);
    const double afterTone = synth.Phase();
    EXPECT_GT(afterTone, 13229 * 0.0626);
    synth.DualTone(stream);
    synth.Silence(stream, 0.2);
    EXPECT_EQ(synth.Phase(), afterTone);
    Bytes mark;
    synth.MarkRun(mark, 1);
    const auto expected =
        static_cast<int>(std::truncl(std::sin(static_cast<long double>(afterTone)) * 63)) + 128;
    EXPECT_EQ(ByteAt(mark, 0), expected);
}

TEST(FskSynthPhase, ContinuesAcrossGenerations) {
    TFskSynth synth;
    SynthesiseImage(synth, kSdmfExample, TSignalling::OnHook);
    const double phase = synth.Phase();
    EXPECT_GT(phase, 1000.0);  // never reduced modulo 2 pi
    const Bytes next = SynthesiseImage(synth, kSdmfExample, TSignalling::OnHook);
    const auto expected =
        static_cast<int>(std::truncl(std::sin(static_cast<long double>(phase)) * 63)) + 128;
    EXPECT_EQ(ByteAt(next, WavHeaderSize), expected);
}

TEST(FskSynthPhase, StepSumIsFormedInExtendedPrecision) {
    TFskSynth synth;
    Bytes stream;
    synth.MarkRun(stream, 3);
    const long double step = 0.17097102857142857143L;
    double expected = 0.0;
    for (int i = 0; i < 3; ++i) {
        expected = static_cast<double>(static_cast<long double>(expected) + step);
    }
    EXPECT_EQ(synth.Phase(), expected);
}

TEST(FskSynthClip, ClipZeroFlattensFskButNotTheTones) {
    TFskSynth synth;
    synth.Clip = 0;
    const Bytes image = SynthesiseImage(synth, kSdmfExample, TSignalling::OnHook);
    EXPECT_EQ(Range(image, WavHeaderSize, image.size()), std::make_pair(128, 128));

    const Bytes cw = SynthesiseImage(synth, kSdmfExample, TSignalling::CallWaiting);
    const auto tone = Range(cw, WavHeaderSize, WavHeaderSize + 13230);
    EXPECT_EQ(tone.first, 128 - 62);  // trunc rounds toward zero: the peak is 62.99
    EXPECT_EQ(tone.second, 128 + 62);
    const auto dual = Range(cw, WavHeaderSize + 13230, WavHeaderSize + 13230 + 4410);
    EXPECT_LT(dual.first, 128 - 62);
    EXPECT_EQ(Range(cw, WavHeaderSize + 29547, cw.size()), std::make_pair(128, 128));
}

TEST(FskSynthClip, DefaultLevelsStayWithin65To191) {
    TFskSynth synth;
    const Bytes image = SynthesiseImage(synth, kSdmfExample, TSignalling::OnHook);
    const auto range = Range(image, WavHeaderSize, image.size());
    EXPECT_GE(range.first, 65);
    EXPECT_LE(range.second, 191);
}

TEST(FskSynthClip, Amplitude100Unclipped) {
    TFskSynth synth;
    synth.Amplitude = 100;
    synth.Clip = 128;
    const Bytes image = SynthesiseImage(synth, kSdmfExample, TSignalling::CallWaiting);
    const auto fsk = Range(image, WavHeaderSize + 29547, image.size());
    EXPECT_GE(fsk.first, 28);
    EXPECT_LE(fsk.second, 228);
    EXPECT_LT(fsk.first, 35);  // the full swing is really there
    const auto dual = Range(image, WavHeaderSize + 13230, WavHeaderSize + 13230 + 4410);
    EXPECT_GE(dual.first, 2);
    EXPECT_LE(dual.second, 254);
}

TEST(FskSynthClip, ClipClampsToItsLevel) {
    TFskSynth synth;
    synth.Amplitude = 100;
    synth.Clip = 20;
    Bytes stream;
    synth.MarkRun(stream, 500);
    EXPECT_EQ(Range(stream, 0, stream.size()), std::make_pair(108, 148));
}

TEST(FskSynthClip, HugeAmplitudeWrapsWithoutOverflow) {
    TFskSynth synth;
    synth.Amplitude = 2147483647;
    synth.Clip = 2147483647;
    Bytes stream;
    synth.MarkRun(stream, 200);
    TFskSynth reference;
    for (std::size_t i = 0; i < stream.size(); ++i) {
        const long double v =
            std::truncl(std::sin(static_cast<long double>(reference.Phase())) * 2147483647.0L);
        const auto expected = static_cast<uint8_t>(static_cast<int64_t>(v) + 128);
        ASSERT_EQ(ByteAt(stream, i), expected) << "sample " << i;  // never clamped
        Bytes ignored;
        reference.MarkRun(ignored, 1);
    }
}

TEST(FskSynthClip, AmplitudeAbove127WrapsInTone440) {
    TFskSynth synth;
    synth.Amplitude = 200;
    Bytes stream;
    synth.Tone440(stream);
    long double phase = 0;
    int wrapped = 0;
    for (std::size_t i = 0; i < 200; ++i) {
        const auto v = static_cast<int64_t>(std::truncl(std::sin(phase) * 200.0L)) + 128;
        wrapped += (v > 255 || v < 0) ? 1 : 0;
        ASSERT_EQ(ByteAt(stream, i), static_cast<uint8_t>(v & 0xFF)) << "sample " << i;
        phase = static_cast<double>(phase + 0.062689377142857142857L);
    }
    EXPECT_GT(wrapped, 10);
}

TEST(FskSynthClip, NegativeClipStillTerminates) {
    TFskSynth synth;
    synth.Clip = -10;
    Bytes stream;
    synth.MarkRun(stream, 100);
    // b > 118 is set to 118, then 138 > b raises it to 138
    EXPECT_EQ(Range(stream, 0, stream.size()), std::make_pair(138, 138));
}

TEST(FskSynthSilence, TruncatesAndCaps) {
    TFskSynth synth;
    Bytes stream;
    synth.Silence(stream, 0.2);
    EXPECT_EQ(stream.size(), 8820u);
    stream.clear();
    synth.Silence(stream, 5.0);
    EXPECT_EQ(stream.size(), 44100u);
    stream.clear();
    synth.Silence(stream, -1.0);
    synth.Silence(stream, std::nan(""));
    EXPECT_TRUE(stream.empty());
}

TEST(FskSynthSine, ExtendedTruncationNearIntegers) {
    // sin(pi/6) * 2 is 1 in exact arithmetic; the double and extended values lie
    // on either side of it, and the extended one decides.
    const double phase = 0.52359877559829887308;
    const auto extended =
        static_cast<int64_t>(std::truncl(std::sin(static_cast<long double>(phase)) * 2.0L));
    EXPECT_EQ(TruncatedSine(phase, 2), extended);
    EXPECT_EQ(TruncatedSine(0.0, 63), 0);
    EXPECT_EQ(TruncatedSine(-1.5707963267948966, 63), -63);  // sin rounds to exactly -1
}

}  // namespace
}  // namespace ringlark
