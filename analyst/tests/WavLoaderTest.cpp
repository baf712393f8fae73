#include "analyst/WaveformViewer.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <functional>

#include "analyst/tests/AnalystTestSupport.h"
#include "core/RinglarkError.h"

namespace ringlark {
namespace {

using test::HexBytes;
using test::WavFile;

class WavLoaderTest : public ::testing::Test, protected test::TViewerFixture {
  protected:
    std::string Write(const std::string& name, const Bytes& content) {
        const auto path = (dir / name).string();
        test::WriteFile(path, content);
        return path;
    }
    uint32_t Field(std::size_t offset) const {
        uint32_t value = 0;
        for (int i = 3; i >= 0; --i) {
            value = (value << 8) | ByteAt(viewer.LoadedImage, offset + static_cast<std::size_t>(i));
        }
        return value;
    }
    test::TTempDir dir;
};

TEST_F(WavLoaderTest, File44100IsTakenWholeWithoutProgress) {
    const Bytes file = WavFile("\x10\x20\x30", 44100) + "LIST";  // trailing chunk bytes too
    const auto path = Write("a.wav", file);
    EXPECT_EQ(viewer.LoadWAV(path), TLoadResult::Loaded);
    EXPECT_EQ(viewer.LoadedImage, file);
    EXPECT_EQ(viewer.SampleByteCount, 7);
    EXPECT_TRUE(progress.Log.empty());
    EXPECT_EQ(viewer.Caption, "Waveform Viewer - a.wav");
    EXPECT_EQ(viewer.ScrollMin, 44);
    EXPECT_EQ(viewer.ScrollMax, static_cast<int64_t>(file.size()));
    EXPECT_EQ(viewer.ScrollPosition, 44);
}

TEST_F(WavLoaderTest, File11025RepeatsEverySampleFourTimes) {
    Bytes samples;
    for (int i = 0; i < 4500; ++i) {
        samples += static_cast<char>(i % 251);
    }
    const Bytes file = WavFile(samples, 11025);
    EXPECT_EQ(viewer.LoadWAV(Write("b.wav", file)), TLoadResult::Loaded);
    ASSERT_EQ(viewer.LoadedImage.size(), 44u + 4 * 4500);
    for (std::size_t i = 0; i < 4500; ++i) {
        ASSERT_EQ(viewer.LoadedImage.substr(44 + 4 * i, 4), Bytes(4, samples[i])) << i;
    }
    EXPECT_EQ(Field(24), 44100u);
    EXPECT_EQ(Field(28), 4 * 11025u);
    EXPECT_EQ(Field(40), 4 * 4500u);
    EXPECT_EQ(Field(4), 4500u + 36);  // the RIFF size is carried over
    EXPECT_EQ(progress.Log,
              (std::vector<std::string>{"begin Converting from 11k format 1 4500 1", "end"}));
    EXPECT_EQ(progress.Positions, 2);  // at 2000 and 4000
    EXPECT_EQ(viewer.LoadedHeader[24], 0x44);
}

TEST_F(WavLoaderTest, File22050InsertsMidpointsStartingFrom127) {
    const Bytes file = WavFile(Bytes("\xC8\x64", 2), 22050);  // 200, 100
    EXPECT_EQ(viewer.LoadWAV(Write("c.wav", file)), TLoadResult::Loaded);
    EXPECT_EQ(viewer.LoadedImage.substr(44), HexBytes("A3 C8 96 64"));  // 163 200 150 100
    EXPECT_EQ(Field(40), 4u);
    EXPECT_EQ(progress.Log.front(), "begin Converting from 22k format 1 2 1");
}

TEST_F(WavLoaderTest, ShortFileRepeatsItsLastSample) {
    Bytes file = WavFile("\x10\x20", 11025);
    file[40] = 5;  // claims five samples, holds two
    EXPECT_EQ(viewer.LoadWAV(Write("d.wav", file)), TLoadResult::Loaded);
    EXPECT_EQ(viewer.LoadedImage.substr(44), Bytes(4, '\x10') + Bytes(16, '\x20'));
}

TEST_F(WavLoaderTest, HugeClaimedDataSizeIsBoundedByTheFile) {
    Bytes file = WavFile("\x10\x20\x30", 11025);
    file.replace(40, 4, "\xFF\xFF\xFF\xFF");
    EXPECT_EQ(viewer.LoadWAV(Write("e.wav", file)), TLoadResult::Loaded);
    EXPECT_EQ(viewer.LoadedImage.size(), 44u + 12);
    EXPECT_EQ(Field(40), 12u);
}

TEST_F(WavLoaderTest, TrailingChunksOfAConvertedFileAreDropped) {
    const Bytes file = WavFile("\x10\x20", 22050) + "LIST....";
    EXPECT_EQ(viewer.LoadWAV(Write("f.wav", file)), TLoadResult::Loaded);
    EXPECT_EQ(viewer.LoadedImage.size(), 44u + 4);
}

TEST_F(WavLoaderTest, RefusedFilesLeaveThePreviousImage) {
    const Bytes good = WavFile("\x10\x20\x30", 44100);
    viewer.LoadWAV(Write("good.wav", good));
    const std::vector<std::pair<Bytes, std::string>> refused = {
        {WavFile("\x10\x20\x30\x40", 44100, 2),
         "Unsupported format!\r\nWAV file must be 8-bit mono."},
        {WavFile("\x10\x20\x30\x40", 44100, 4),
         "Unsupported format!\r\nWAV file must be 8-bit mono."},
        {WavFile("\x10\x20", 8000), "WAV file most be 11025, 22050, or 44100 samples per second."},
        {Bytes("RIFF\x10"), "Unsupported format!\r\nWAV file must be 8-bit mono."},
    };
    for (const auto& [content, notice] : refused) {
        notices.Notices.clear();
        EXPECT_EQ(viewer.LoadWAV(Write("bad.wav", content)), TLoadResult::Refused);
        EXPECT_EQ(notices.Notices, std::vector<std::string>{notice});
        EXPECT_EQ(viewer.LoadedImage, good);
        EXPECT_EQ(viewer.SampleByteCount, 3);
    }
}

TEST_F(WavLoaderTest, MissingFileCannotBeOpened) {
    const auto path = (dir / "none.wav").string();
    std::string error;
    try {
        viewer.LoadWAV(path);
    } catch (const RinglarkError& e) {
        error = e.what();
    }
    EXPECT_EQ(error, "Cannot open file " + path + ": No such file or directory");
    EXPECT_EQ(viewer.Caption, "Waveform Viewer - none.wav");
}

TEST_F(WavLoaderTest, EmptyNameAsksAndCancelChangesNothing) {
    openDialog.Answers = {std::nullopt};
    EXPECT_EQ(viewer.LoadWAV(""), TLoadResult::Cancelled);
    EXPECT_EQ(openDialog.Showings[0].InitialDir, ".\\");
    EXPECT_EQ(openDialog.Showings[0].Filter, "WAV Files (*.WAV)|*.WAV");
    EXPECT_EQ(viewer.Caption, "Waveform Viewer");
    openDialog.Answers = {Write("chosen.wav", WavFile("\x80", 44100))};
    EXPECT_EQ(viewer.LoadWAV(""), TLoadResult::Loaded);
    EXPECT_EQ(viewer.Caption, "Waveform Viewer - chosen.wav");
}

TEST(WavConversion, NoSamplesAtAllRepeatSilence) {
    test::TRecordingProgress progress;
    Bytes file = WavFile("", 11025);
    file[40] = 2;
    EXPECT_EQ(ConvertBy4(file, progress).substr(44), Bytes(8, '\x80'));
}

// A conversion that fails still ends its progress display, which re-enables
// the windows that the display disabled.
TEST(WavConversion, FailedConversionStillEndsItsProgress) {
    class TFailingProgress : public test::TRecordingProgress {
      public:
        void Position(int64_t) override { throw std::bad_alloc(); }
    } progress;
    const Bytes file = WavFile(Bytes(10000, '\x80'), 11025);
    EXPECT_THROW(ConvertBy4(file, progress), std::bad_alloc);
    ASSERT_EQ(progress.Log.size(), 2u);
    EXPECT_EQ(progress.Log.back(), "end");
}

// Only regular files are opened: a FIFO would block the program until a
// writer came, a device would be read without end.
TEST_F(WavLoaderTest, FifosAndDevicesAreRefusedWithoutOpening) {
    test::TTempDir dir;
    const auto fifo = (dir / "pipe.wav").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(test::ErrorOf([&] { viewer.LoadWAV(fifo); }),
              "Cannot open file " + fifo + ": it is not a regular file");
    EXPECT_EQ(test::ErrorOf([&] { viewer.LoadWAV("/dev/zero"); }),
              "Cannot open file /dev/zero: it is not a regular file");
}

// The header decides before the samples are read: a large file that is not
// an 8-bit mono WAV is refused at once, and one that would exceed 2 GB once
// converted is refused for that reason.
TEST_F(WavLoaderTest, LargeFilesAreJudgedByTheirHeader) {
    test::TTempDir dir;
    const auto zeros = (dir / "zeros.wav").string();
    test::WriteFile(zeros, "");
    ASSERT_EQ(truncate(zeros.c_str(), 2100000000), 0);
    EXPECT_EQ(viewer.LoadWAV(zeros), TLoadResult::Refused);
    EXPECT_EQ(notices.Notices.back(), loader::UnsupportedFormat);
    Bytes header = WavFile("", 22050);
    WriteLe32(header, 40, 1100000000u);
    const auto big = (dir / "big.wav").string();
    test::WriteFile(big, header);
    ASSERT_EQ(truncate(big.c_str(), 44 + 1100000000), 0);
    EXPECT_EQ(viewer.LoadWAV(big), TLoadResult::Refused);
    EXPECT_EQ(notices.Notices.back(), loader::TooLargeConverted);
    EXPECT_EQ(progress.Log.size(), 0u);  // nothing was converted
}

}  // namespace
}  // namespace ringlark
