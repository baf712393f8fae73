#include "analyst/Waveform.h"

#include <gtest/gtest.h>

#include "analyst/tests/AnalystTestSupport.h"
#include "decoding/Demodulator.h"
#include "generation/FskSynth.h"
#include "generation/SignalImage.h"

namespace ringlark {
namespace {

using K = TPrimitive::Kind;

bool Has(const TWaveformPicture& picture, const TPrimitive& wanted) {
    for (const auto& p : picture.Primitives) {
        if (p.Type == wanted.Type && p.X1 == wanted.X1 && p.Y1 == wanted.Y1 &&
            p.Color == wanted.Color &&
            (p.Type == K::Text ? p.Text == wanted.Text
                               : (p.X2 == wanted.X2 && p.Y2 == wanted.Y2))) {
            return true;
        }
    }
    return false;
}

int CountColor(const TWaveformPicture& picture, TColor color, K type) {
    int n = 0;
    for (const auto& p : picture.Primitives) {
        n += (p.Type == type && p.Color == color) ? 1 : 0;
    }
    return n;
}

// Square half waves around 128: (half period, count) pairs.
Bytes Square(const std::vector<std::pair<int, int>>& runs, std::size_t totalSamples) {
    Bytes image(WavHeaderSize, '\0');
    bool up = false;
    for (const auto& [half, count] : runs) {
        for (int c = 0; c < count; ++c) {
            image.append(static_cast<std::size_t>(half), static_cast<char>(up ? 170 : 86));
            up = !up;
        }
    }
    image.resize(WavHeaderSize + totalSamples, static_cast<char>(128));
    return image;
}

TEST(Waveform, BackgroundCentreLineAndWaveform) {
    const Bytes image = Square({{18, 100}}, 3000);
    const auto picture = DrawWaveform(image, 44, TAnalysisMethod::ZeroCrossing, 0);
    EXPECT_TRUE(Has(picture, {K::Rect, 0, 0, 771, 299, White, {}}));
    EXPECT_TRUE(Has(picture, {K::Line, 0, 131, 770, 131, Navy, {}}));
    // the first sample, 86, is drawn at 260 - 86 from the pen's start on the centre line
    EXPECT_TRUE(Has(picture, {K::Line, 0, 131, 1, 174, Black, {}}));
}

TEST(Waveform, GridLinesAndTheirLabels) {
    const Bytes image = Square({{18, 2000}}, 30000);
    auto picture = DrawWaveform(image, 44, TAnalysisMethod::ZeroCrossing, 0);
    EXPECT_TRUE(Has(picture, {K::Line, 306, 0, 306, 299, Maroon, {}}));  // o = 350
    EXPECT_TRUE(Has(picture, {K::Text, 308, 2, 0, 0, Maroon, "350"}));
    EXPECT_TRUE(Has(picture, {K::Text, 308, 14, 0, 0, Maroon, "0.0069s"}));
    picture = DrawWaveform(image, 22050 - 100, TAnalysisMethod::ZeroCrossing, 0);
    EXPECT_TRUE(Has(picture, {K::Text, 102, 2, 0, 0, Maroon, "22050"}));
    EXPECT_TRUE(Has(picture, {K::Text, 102, 14, 0, 0, Maroon, "0.5s"}));  // (22050 - 44) / 44100
}

TEST(Waveform, EventsBarsAndBitLabels) {
    // 20 mark half periods (18 samples), then 30 space half periods (10)
    const Bytes image = Square({{18, 20}, {10, 30}, {18, 20}}, 2000);
    const auto picture = DrawWaveform(image, 44, TAnalysisMethod::ZeroCrossing, 0);
    // the first crossing upward is at column 19 (sample 18 of the image)
    EXPECT_TRUE(Has(picture, {K::Rect, 19, 2, 21, 5, Black, {}}));
    EXPECT_TRUE(Has(picture, {K::Line, 19, 4, 19, 299, Aqua, {}}));
    EXPECT_TRUE(Has(picture, {K::Line, 19, 20, 37, 20, Fuchsia, {}}));
    // the first space half period after the marks: a lime bar
    EXPECT_TRUE(Has(picture, {K::Line, 361, 20, 371, 20, Lime, {}}));
    // the run of marks from the label start (44) is labelled at the first space event
    EXPECT_TRUE(Has(picture, {K::Text, 44, 21, 0, 0, Black, "9x1"}));
    // the space run is labelled from its first space event (371) when marks return
    EXPECT_TRUE(Has(picture, {K::Text, 371, 21, 0, 0, Black, "8x0"}));
}

TEST(Waveform, PeakGateLeavesOutWigglesAroundTheThreshold) {
    Bytes image(WavHeaderSize, '\0');
    for (int i = 0; i < 2000; ++i) {
        image += static_cast<char>(i % 8 < 4 ? 131 : 124);  // wiggles inside 122..134
    }
    auto picture = DrawWaveform(image, 44, TAnalysisMethod::Peak, 0);
    EXPECT_EQ(CountColor(picture, Aqua, K::Line), 0);
    // the same wiggles with the offset of a signal centred on 160 lie in the band too
    Bytes shifted(WavHeaderSize, '\0');
    for (int i = 0; i < 2000; ++i) {
        shifted += static_cast<char>(i % 8 < 4 ? 131 + 32 : 124 + 32);
    }
    picture = DrawWaveform(shifted, 44, TAnalysisMethod::Peak, EstimateOffset(shifted));
    EXPECT_EQ(CountColor(picture, Aqua, K::Line), 0);
    picture = DrawWaveform(shifted, 44, TAnalysisMethod::ZeroCrossing, EstimateOffset(shifted));
    EXPECT_GT(CountColor(picture, Aqua, K::Line), 100);
}

TEST(Waveform, ScrollPastTheEndDrawsTheLastPicture) {
    const Bytes image = Square({{18, 200}}, 5000);
    const auto limit = DrawWaveform(image, static_cast<int64_t>(image.size()) - 771,
                                    TAnalysisMethod::ZeroCrossing, 0);
    const auto beyond = DrawWaveform(image, 100000, TAnalysisMethod::ZeroCrossing, 0);
    EXPECT_EQ(beyond.Start, static_cast<int64_t>(image.size()) - 771);
    EXPECT_EQ(beyond.Primitives.size(), limit.Primitives.size());
    // the last column shows the last sample
    EXPECT_TRUE(Has(beyond, {K::Line, 770, 260 - 128, 771, 260 - 128, Black, {}}));
    EXPECT_EQ(ClampStart(10, image.size()), 44);
}

TEST(Waveform, ShortAndEmptyImagesStayInsideTheirBytes) {
    const Bytes shortImage = Square({{18, 10}}, 100);
    const auto picture = DrawWaveform(shortImage, 5000, TAnalysisMethod::ZeroCrossing, 0);
    EXPECT_EQ(picture.Start, 44);
    for (const auto& p : picture.Primitives) {
        if (p.Type == K::Line && p.Color == Black) {
            EXPECT_LE(p.X2, 100);
        }
    }
    EXPECT_EQ(DrawWaveform(Bytes(WavHeaderSize, '\0'), 0, TAnalysisMethod::ZeroCrossing, 0)
                  .Primitives.size(),
              2u);
    EXPECT_EQ(DrawWaveform(Bytes(), 0, TAnalysisMethod::ZeroCrossing, 0).Primitives.size(), 2u);
}

TEST(Waveform, PlayImageFromAnOffset) {
    Bytes image(WavHeaderSize, '\0');
    image += "abcdefgh";
    WriteWavHeader(image);
    const Bytes whole = ImageFrom(image, 44);
    EXPECT_EQ(whole, image);
    const Bytes rest = ImageFrom(image, 50);
    EXPECT_EQ(rest.substr(44), "gh");
    EXPECT_EQ(ByteAt(rest, 40), 2);
    EXPECT_EQ(rest.substr(4, 4), image.substr(4, 4));  // the RIFF size is kept
    EXPECT_EQ(ImageFrom(Bytes(), 44), "");
}

class ViewerButtons : public ::testing::Test, protected test::TViewerFixture {
  protected:
    void Load(const Bytes& message) {
        TFskSynth synth;
        const auto path = (dir / "v.wav").string();
        SaveImageToFile(path, SynthesiseImage(synth, message, TSignalling::OnHook));
        viewer.LoadWAV(path);
    }
    test::TTempDir dir;
};

TEST_F(ViewerButtons, PlayFromTheScrollPosition) {
    viewer.PlayFromScroll();  // no image: nothing
    EXPECT_TRUE(sound.Played.empty());
    Load(test::HexBytes("82 03 0B 01 FF 70"));
    viewer.ScrollPosition = 1044;
    viewer.PlayFromScroll();
    ASSERT_EQ(sound.Played.size(), 1u);
    EXPECT_EQ(sound.Played[0].size(), viewer.LoadedImage.size() - 1000);
    sound.Failure = "Sound could not be played: Device unavailable";
    viewer.PlayFromScroll();
    EXPECT_EQ(notices.Notices.back(), "Sound could not be played: Device unavailable");
}

TEST_F(ViewerButtons, AnalysisButtonsShowTheListingAndAutoAnalyzeTellsTheResult) {
    Load(test::HexBytes("82 03 0B 01 FF 70"));
    std::vector<std::vector<Bytes>> listings;
    viewer.Analyzer.ShowListing = [&](const std::vector<Bytes>& lines) {
        listings.push_back(lines);
    };
    viewer.AnalyzePeak();
    ASSERT_EQ(listings.size(), 1u);
    EXPECT_EQ(listings[0].size(), 6u);
    EXPECT_EQ(viewer.Analyzer.Demodulator.AnalysisMethod, TAnalysisMethod::Peak);
    viewer.AutoAnalyzeToNotice();
    // shown as the results box shows them: control bytes as spaces, the rest
    // through Windows-1252
    EXPECT_EQ(notices.Notices.back(), "\xE2\x80\x9A   \xC3\xBFp\r\nZCA");
    EXPECT_EQ(listings.size(), 1u);  // the automatic analysis is quiet
    viewer.AnalyzeZeroCrossing();
    EXPECT_EQ(listings.size(), 2u);
}

}  // namespace
}  // namespace ringlark
