#include "decoding/fsk/CorrelationDecoder.h"

#include <gtest/gtest.h>

#include "decoding/ByteExtraction.h"
#include "decoding/tests/DecodingTestSupport.h"
#include "generation/FskSynth.h"
#include "generation/SignalImage.h"
#include "protocol/MessageFormat.h"
#include "tests/support/TestSignals.h"

namespace ringlark {
namespace {

std::vector<float> Recording(const Bytes& message, TSignalling signalling, int factor = 1) {
    TFskSynth synth;
    return Downsample(ImageSamples(SynthesiseImage(synth, message, signalling)), factor);
}

TEST(CorrelationDecoder, DecodesAtEveryRate) {
    const Bytes message = ExampleMdmfMessage();
    for (int factor : {1, 2, 4}) {
        const auto found = TCorrelationDecoder().Decode(
            Recording(message, TSignalling::OnHook, factor), 44100.0 / factor);
        ASSERT_EQ(found.size(), 1u) << factor;
        EXPECT_EQ(test::ToHex(found[0].Message), test::ToHex(message));
        // the first start bit follows the seizure (250 ms) and the mark (150 ms)
        EXPECT_NEAR(found[0].Seconds, 0.4, 0.002);
        EXPECT_EQ(found[0].Frames[0], "0000000011");
    }
}

TEST(CorrelationDecoder, DecodesInNoiseWithAFixedSeed) {
    const Bytes message = ExampleMdmfMessage();
    int exact = 0;
    for (uint64_t seed = 1; seed <= 10; ++seed) {
        const auto noisy = AddNoise(Recording(message, TSignalling::OnHook), 3.0, 4410, seed);
        const auto found = TCorrelationDecoder().Decode(noisy, 44100.0);
        exact += !found.empty() && found[0].Message == message ? 1 : 0;
    }
    EXPECT_EQ(exact, 10);
}

TEST(CorrelationDecoder, FindsEveryMessageInARecording) {
    const Bytes on = test::HexBytes("82 03 0B 01 FF 70");
    const Bytes off = test::HexBytes("82 03 0B 01 00 6F");
    std::vector<float> samples = Recording(on, TSignalling::OnHook);
    samples.resize(samples.size() + 22050, 0.0f);
    const auto second = Recording(off, TSignalling::CallWaiting);
    samples.insert(samples.end(), second.begin(), second.end());
    const auto found = TCorrelationDecoder().Decode(samples, 44100.0);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].Message, on);
    EXPECT_EQ(found[1].Message, off);
}

TEST(CorrelationDecoder, NothingInNoiseOrSilence) {
    std::vector<float> silence(441000, 0.0f);
    EXPECT_TRUE(TCorrelationDecoder().Decode(silence, 44100.0).empty());
    for (uint64_t seed = 1; seed <= 5; ++seed) {
        const auto noise = AddNoise(std::vector<float>(1, 0.3f), 0.0, 441000, seed);
        EXPECT_TRUE(TCorrelationDecoder().Decode(noise, 44100.0).empty()) << seed;
    }
    // a steady mark tone and a steady space tone hold no message either
    const auto marks = Recording(Bytes(), TSignalling::CallWaiting);
    EXPECT_TRUE(TCorrelationDecoder().Decode(marks, 44100.0).empty());
    EXPECT_TRUE(TCorrelationDecoder().Decode({}, 44100.0).empty());
    EXPECT_TRUE(TCorrelationDecoder().Decode(std::vector<float>(100, 0.5f), 1000.0).empty());
}

TEST(CorrelationDecoder, MalformedMessagesAreNotReported) {
    // unknown type, a failed checksum, and a length longer than what was sent
    for (const char* hex : {"41 03 0B 01 FF 32", "04 0C 30 31 30 31 31 32 30 30 31 32 33 34 A2",
                            "80 20 01 08 31 32"}) {
        const auto found = TCorrelationDecoder().Decode(
            Recording(test::HexBytes(hex), TSignalling::OnHook), 44100.0);
        EXPECT_TRUE(found.empty()) << hex;
    }
}

TEST(CorrelationDecoder, DcOffsetTwistAndLevelDoNotMatter) {
    const Bytes message = ExampleMdmfMessage();
    auto samples = Recording(message, TSignalling::OnHook);
    for (float& s : samples) {
        s = 0.2f * s + 20.0f / 128.0f;  // quiet, and off centre
    }
    const auto found = TCorrelationDecoder().Decode(samples, 44100.0);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].Message, message);
}

TEST(CorrelationAnalysis, ListingShowsTheBitDecisions) {
    TByteAnalyzer analyzer;
    std::vector<std::vector<Bytes>> shown;
    analyzer.ShowListing = [&](const std::vector<Bytes>& lines) { shown.push_back(lines); };
    TFskSynth synth;
    const Bytes message = test::HexBytes("82 03 0B 01 FF 70");
    EXPECT_EQ(analyzer.CorrelationAnalyze(SynthesiseImage(synth, message, TSignalling::OnHook)),
              message);
    ASSERT_EQ(shown.size(), 1u);
    ASSERT_EQ(shown[0].size(), 7u);
    EXPECT_EQ(shown[0][0], Bytes("0010000011  Dec: 130  ASC: ") + '\x82');
    EXPECT_EQ(shown[0][6].substr(0, 11), "Quality: 1.");
}

TEST(CorrelationAnalysis, ChecksumPassesNeedsTheWholeMessage) {
    EXPECT_TRUE(ChecksumPasses(test::HexBytes("82 03 0B 01 FF 70 FF FF")));
    EXPECT_FALSE(ChecksumPasses(test::HexBytes("82 03 0B 01 FF 71")));
    EXPECT_FALSE(ChecksumPasses(test::HexBytes("82 03 0B 01 FF")));
    EXPECT_FALSE(ChecksumPasses(""));
}

TEST(GaussianNoise, SameNumbersEveryTimeWithUnitVariance) {
    TGaussianNoise a(7), b(7);
    double sum = 0, squares = 0;
    for (int i = 0; i < 100000; ++i) {
        const double x = a.Next();
        ASSERT_EQ(x, b.Next());
        sum += x;
        squares += x * x;
    }
    EXPECT_NEAR(sum / 100000, 0.0, 0.02);
    EXPECT_NEAR(squares / 100000, 1.0, 0.02);
}

}  // namespace
}  // namespace ringlark

namespace ringlark {
namespace {

// Telephone-rate recordings have fewer than 8 samples per bit.
TEST(CorrelationDecoder, DecodesAt8000PerSecond) {
    const Bytes message = test::HexBytes("82 03 0B 01 FF 70");
    TFskSynth synth;
    const std::vector<float> at44100 =
        ImageSamples(SynthesiseImage(synth, message, TSignalling::OnHook));
    std::vector<float> at8000;
    for (double position = 0; position + 1 < static_cast<double>(at44100.size());
         position += 44100.0 / 8000.0) {
        const auto k = static_cast<std::size_t>(position);
        const auto f = static_cast<float>(position - static_cast<double>(k));
        at8000.push_back(at44100[k] * (1 - f) + at44100[k + 1] * f);
    }
    const auto found = TCorrelationDecoder().Decode(AddNoise(at8000, 10.0, 800, 3), 8000.0);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].Message, message);
}

}  // namespace
}  // namespace ringlark

namespace ringlark {
namespace {

// The dual-tone alert before call-waiting data beats at 620 Hz, a period of
// nearly two bits: its crossings must not be taken for a channel seizure and
// set the bit clock 3 % fast.
TEST(CorrelationDecoder, EveryCallWaitingImageRinglarkMakesIsReadWithItsAlert) {
    for (uint64_t seed = 1; seed <= 40; ++seed) {
        TFskSynth synth;
        const Bytes message = RandomMdmfMessage(seed);
        const auto found = TCorrelationDecoder().DecodeImage(
            SynthesiseImage(synth, message, TSignalling::CallWaiting));
        ASSERT_EQ(found.size(), 1u) << seed;
        EXPECT_EQ(found[0].Message, message) << seed;
    }
}

// Bellcore allows up to 20 extra mark bits between characters: each byte's
// start is looked for that far after the stop bit, by a file and a stream alike.
TEST(CorrelationDecoder, TwentyIdleMarksBetweenBytesAreRead) {
    const Bytes sent = ExampleMdmfMessage();
    for (int idle : {1, 10, 20}) {
        TFskSignal signal;
        signal.IdleBits = idle;
        const auto noisy = AddNoise(SynthesiseFsk(sent, signal), 15.0, 4410, 5);
        const auto found = TCorrelationDecoder().Decode(noisy, 44100.0);
        ASSERT_EQ(found.size(), 1u) << idle;
        EXPECT_EQ(found[0].Message, sent) << idle;
        TFskSignal slow = signal;
        slow.Rate = 8000;
        const auto at8000 = TCorrelationDecoder().Decode(SynthesiseFsk(sent, slow), 8000.0);
        ASSERT_EQ(at8000.size(), 1u) << idle;
        EXPECT_EQ(at8000[0].Message, sent) << idle;
    }
}

}  // namespace
}  // namespace ringlark
