#include "decoding/BlockAnalysis.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "core/WavImage.h"
#include "generation/FskSynth.h"
#include "generation/SignalImage.h"
#include "generation/StandardsSynth.h"
#include "protocol/Standards.h"
#include "tests/support/TestSignals.h"
#include "tests/support/TestSupport.h"

namespace ringlark {
namespace {

// An image's samples read in blocks of an awkward size, counting the passes.
class TImageSamples : public TImageBytes {
  public:
    TImageSamples(const Bytes& image, std::size_t block) : TImageBytes(image), block_(block) {}
    void Rewind() override {
        TImageBytes::Rewind();
        ++passes;
    }
    std::size_t Read(unsigned char* to, std::size_t count) override {
        return TImageBytes::Read(to, std::min(count, block_));
    }
    int passes = 0;

  private:
    std::size_t block_;
};

Bytes ExpectSameResult(const Bytes& image, const std::string& tag, const std::string& what) {
    TByteAnalyzer whole;
    const TAutoResult expected = whole.AutoAnalyze(image);
    for (std::size_t block : {std::size_t{1000}, std::size_t{65536}}) {
        TByteAnalyzer inBlocks;
        TImageSamples samples(image, block);
        // with 1000-sample blocks Bell 202's pass runs alongside methods 1 and 2
        TImageSamples alongside(image, block);
        const TAutoResult got =
            AutoAnalyzeBlocks(inBlocks, samples, block == 1000 ? &alongside : nullptr);
        EXPECT_EQ(got.MethodTag, expected.MethodTag) << what << " " << block;
        EXPECT_EQ(got.Text, expected.Text) << what << " " << block;
        EXPECT_EQ(got.Uncertain, expected.Uncertain) << what;
        EXPECT_EQ(got.Alternative, expected.Alternative) << what;
        EXPECT_EQ(inBlocks.Demodulator.SignalOffset, whole.Demodulator.SignalOffset) << what;
        EXPECT_EQ(inBlocks.Demodulator.AnalysisMethod, whole.Demodulator.AnalysisMethod);
        // the mean, methods 1 and 2, the tones' family when they read
        // something, Bell 202 by method 3 when they hold nothing, the other
        // standards when it finds nothing
        const int passes = expected.MethodTag == "ZCA" || expected.MethodTag == "PEAK" ? 3
                           : expected.MethodTag == "CORR"                              ? 3
                                                                                       : 5;
        // (Bell 202's pass alongside starts whatever methods 1 and 2 find)
        EXPECT_LE(samples.passes + alongside.passes, passes + (block == 1000 ? 1 : 0)) << what;
    }
    EXPECT_EQ(expected.MethodTag.substr(0, tag.size()), tag) << what;
    return expected.MethodTag;
}

TEST(BlockAnalysis, GivesTheWholeImagesResultForEveryKindOfRecording) {
    TFskSynth synth;
    const Bytes clean = SynthesiseImage(synth, ExampleMdmfMessage(), TSignalling::OnHook);
    ExpectSameResult(clean, "ZCA", "clean");
    // noise that methods 1 and 2 do not read through, at several seeds
    TFskSignal signal;
    int method3 = 0;
    for (uint64_t seed = 1; seed <= 4; ++seed) {
        auto samples = SynthesiseFsk(RandomMdmfMessage(seed), signal);
        samples = AddNoise(samples, 3.0, 4410, seed);
        method3 += ExpectSameResult(SamplesImage(samples, 44100), "",
                                    "noisy " + std::to_string(seed)) == "CORR";
    }
    EXPECT_GE(method3, 2);
    const Bytes v23 = SynthesiseV23Image(
        ExampleMdmfMessage(), V23TimingFor(TCidStandard::EtsiV23, TSignalling::OnHook, false), 63);
    ExpectSameResult(v23, "V23", "V.23");
    ExpectSameResult(SynthesiseDtmfImage("A5551234C", 63), "DTMF", "DTMF");
    // noise alone: the failure with both methods' texts
    ExpectSameResult(SamplesImage(AddNoise(std::vector<float>(44100, 0.0f), 0.0, 0, 3), 44100),
                     "FAIL", "noise");
    Bytes empty(WavHeaderSize, '\0');
    WriteWavHeader(empty);
    ExpectSameResult(empty, "FAIL", "no samples");
}

TEST(BlockAnalysis, BothMethodsWalkedInBlocksGiveTheirWholeImageTexts) {
    TFskSignal signal;
    auto samples = SynthesiseFsk(RandomMdmfMessage(8), signal);
    samples = AddNoise(samples, 12.0, 2000, 8);
    const Bytes image = SamplesImage(samples, 44100);
    TDemodulator demodulator;
    const int32_t offset = EstimateOffset(image);
    const auto expected = demodulator.AnalyzeBoth(image, offset);
    demodulator.AnalysisMethod = TAnalysisMethod::ZeroCrossing;
    EXPECT_EQ(expected.first, demodulator.AnalyzeWithOffset(image, offset));
    demodulator.AnalysisMethod = TAnalysisMethod::Peak;
    EXPECT_EQ(expected.second, demodulator.AnalyzeWithOffset(image, offset));
    for (std::size_t block : {std::size_t{1}, std::size_t{3}, std::size_t{64}, std::size_t{777}}) {
        TBothMethodsWalk walk(offset);
        for (std::size_t at = WavHeaderSize; at < image.size(); at += block) {
            const std::size_t n = std::min(block, image.size() - at);
            walk.Feed(reinterpret_cast<const unsigned char*>(image.data()) + at, n);
        }
        EXPECT_EQ(walk.Finish(), expected) << block;
    }
    EXPECT_GT(expected.first.size(), 100u);
}

}  // namespace
}  // namespace ringlark
