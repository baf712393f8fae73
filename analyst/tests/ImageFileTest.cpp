#include "analyst/ImageFile.h"

#include <gtest/gtest.h>

#include "analyst/WaveformViewer.h"
#include "core/NullServices.h"
#include "core/RinglarkError.h"
#include "core/WavImage.h"
#include "tests/support/TestSupport.h"

namespace ringlark {
namespace {

// An 8-bit mono WAV at a rate whose header claims `claimed` samples and which
// holds `held` of them (a ramp, so that every sample differs from the next).
Bytes RampFile(uint32_t rate, uint32_t claimed, uint32_t held) {
    Bytes file(WavHeaderSize, '\0');
    for (uint32_t i = 0; i < held; ++i) {
        file += static_cast<char>((i * 7 + 3) & 0xFF);
    }
    WriteWavHeader(file);
    WriteLe32(file, 24, rate);
    WriteLe32(file, 28, rate);
    WriteLe32(file, 40, claimed);
    return file;
}

TEST(ImageFileSamples, ReadInBlocksTheyAreTheImageTheLoaderMakes) {
    test::TTempDir dir;
    struct TCase {
        uint32_t Rate, Claimed, Held;
    };
    // as held; short by under a second (made up); short by more (not made
    // up); more held than claimed
    for (const TCase c :
         {TCase{11025, 5000, 5000}, TCase{22050, 5001, 5001}, TCase{44100, 9000, 9000},
          TCase{11025, 9000, 5000}, TCase{22050, 60000, 5000}, TCase{22050, 3000, 5000},
          TCase{44100, 20, 5000}}) {
        const auto path = (dir / "ramp.wav").string();
        test::WriteFile(path, RampFile(c.Rate, c.Claimed, c.Held));
        TCancelledFileDialog dialog;
        test::TScriptedNotices notices;
        TNoProgress progress;
        TSilentSound sound;
        TWaveformViewer viewer(dialog, notices, progress, sound);
        ASSERT_EQ(viewer.LoadWAV(path), TLoadResult::Loaded);
        const Bytes expected = viewer.LoadedImage.substr(WavHeaderSize);
        TImageFileSamples samples(path);
        for (int pass = 0; pass < 2; ++pass) {  // and again after a rewind
            samples.Rewind();
            Bytes got;
            unsigned char block[333];
            for (std::size_t n; (n = samples.Read(block, sizeof block)) > 0;) {
                got.append(reinterpret_cast<const char*>(block), n);
            }
            EXPECT_EQ(got, expected) << c.Rate << " " << c.Claimed << " " << c.Held;
        }
    }
    EXPECT_THROW(TImageFileSamples((dir / "none.wav").string()), RinglarkError);
}

}  // namespace
}  // namespace ringlark
