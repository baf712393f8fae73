#include "core/WavImage.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "core/RinglarkError.h"
#include "generation/FskSynth.h"
#include "generation/workflow/GenerationDriver.h"
#include "tests/support/TestSupport.h"

namespace ringlark {
namespace {

using test::HexBytes;
using test::ReadFile;
using test::TTempDir;

uint32_t Le32(const Bytes& bytes, std::size_t offset) {
    return ByteAt(bytes, offset) | ByteAt(bytes, offset + 1) << 8 |
           ByteAt(bytes, offset + 2) << 16 | static_cast<uint32_t>(ByteAt(bytes, offset + 3)) << 24;
}

TEST(WavImageHeader, ExactBytesForThreeSamples) {
    Bytes stream(WavHeaderSize, '\0');
    stream += "\x80\x81\x7F";
    WriteWavHeader(stream);
    EXPECT_EQ(stream.substr(0, 44),
              HexBytes("52 49 46 46 27 00 00 00 57 41 56 45 66 6D 74 20 10 00 00 00 01 00 01 00"
                       "44 AC 00 00 44 AC 00 00 01 00 08 00 64 61 74 61 03 00 00 00"));
    EXPECT_EQ(stream.size(), 47u);  // no pad byte after an odd number of samples
}

TEST(WavImageHeader, FirstSdmfImageSizes) {
    TFskSynth synth;
    const Bytes image = SynthesiseImage(
        synth, HexBytes("04 0C 30 31 30 31 31 32 30 30 31 32 33 34 A1"), TSignalling::OnHook);
    EXPECT_EQ(image.size(), 23197u);
    EXPECT_EQ(Le32(image, 4), 23189u);
    EXPECT_EQ(Le32(image, 40), 23153u);
    EXPECT_EQ(image.size(), Le32(image, 4) + 8);
    EXPECT_EQ(image.size(), Le32(image, 40) + 44);
}

TEST(WavImageHeader, ReadBackFields) {
    Bytes stream(WavHeaderSize + 10, '\x80');
    WriteWavHeader(stream);
    const TWavFields fields = ReadWavFields(stream);
    EXPECT_EQ(fields.SampleRate, 44100u);
    EXPECT_EQ(fields.DataSize, 10u);
    EXPECT_EQ(ReadWavFields(Bytes(10, 'x')).SampleRate, 0u);
}

TEST(WavImageSave, WritesAndReplacesWithoutAsking) {
    TTempDir dir;
    const auto path = (dir / "out.wav").string();
    SaveImageToFile(path, "first image");
    EXPECT_EQ(ReadFile(path), "first image");
    SaveImageToFile(path, "second");
    EXPECT_EQ(ReadFile(path), "second");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST(WavImageSave, MissingFolderCannotBeCreated) {
    TTempDir dir;
    const auto path = (dir / "no-such-folder" / "x.wav").string();
    EXPECT_EQ(test::ErrorOf([&] { SaveImageToFile(path, "x"); }),
              "Cannot create file " + path + ": No such file or directory");
    EXPECT_EQ(test::ErrorOf([&] { SaveImageToFile(dir.Path().string(), "x"); }),
              "Cannot create file " + dir.Path().string() + ": it is a folder");
}

TEST(WavImageSave, FollowsSymbolicLinks) {
    TTempDir dir;
    test::WriteFile(dir / "real.wav", "old");
    std::filesystem::create_symlink(dir / "real.wav", dir / "link.wav");
    SaveImageToFile((dir / "link.wav").string(), "new");
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.wav"));
    EXPECT_EQ(ReadFile(dir / "real.wav"), "new");
}

// A full disk, simulated with the file-size limit: the write fails part way.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        signal(SIGXFSZ, previousHandler_);
    }

  private:
    rlimit saved_{};
    sighandler_t previousHandler_;
};

TEST(WavImageSave, FailedWriteKeepsTheOldFile) {
    TTempDir dir;
    const auto path = (dir / "keep.wav").string();
    SaveImageToFile(path, "the previous recording");
    std::string error;
    {
        FileSizeLimit limit(1000);
        error = test::ErrorOf([&] { SaveImageToFile(path, Bytes(23197, 'x')); });
    }
    EXPECT_EQ(error, "Stream write error: File too large");
    EXPECT_EQ(ReadFile(path), "the previous recording");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1)
        << "the temporary file must be removed";
}

TEST(WavImageSave, ReadOnlyFileIsNotReplaced) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "root may write to read-only files";
    }
    TTempDir dir;
    const auto path = (dir / "ro.wav").string();
    SaveImageToFile(path, "kept");
    chmod(path.c_str(), 0444);
    EXPECT_EQ(test::ErrorOf([&] { SaveImageToFile(path, "new"); }),
              "Cannot create file " + path + ": Permission denied");
    EXPECT_EQ(ReadFile(path), "kept");
}

TEST(WavImageSave, KeepsModeOfReplacedFile) {
    TTempDir dir;
    const auto path = (dir / "mode.wav").string();
    SaveImageToFile(path, "a");
    chmod(path.c_str(), 0640);
    SaveImageToFile(path, "b");
    struct stat info {};
    stat(path.c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

}  // namespace
}  // namespace ringlark

namespace ringlark {
namespace {

TEST(WavImageSave, DevicesAreWrittenInPlaceNotReplaced) {
    SaveImageToFile("/dev/null", "image bytes");
    struct stat info {};
    ASSERT_EQ(stat("/dev/null", &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode));
    std::string full;
    try {
        SaveImageToFile("/dev/full", "x");
    } catch (const RinglarkError& error) {
        full = error.what();
    }
    EXPECT_EQ(full, "Stream write error: No space left on device");
}

}  // namespace
}  // namespace ringlark
