// Plays through the real PortAudio and ALSA path into ALSA's file plugin, so that
// the bytes the sound card would have been sent can be compared with the image.
// Each case runs in a child process because ALSA reads its configuration (from
// $HOME/.asoundrc) once per process.
#include "generation/sound/PortAudioPlayer.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "core/WavImage.h"
#include "generation/FskSynth.h"
#include "generation/workflow/GenerationDriver.h"
#include "tests/support/TestSupport.h"

namespace ringlark {
namespace {

// Runs fn in a child with HOME set to home; returns what it wrote to its pipe.
std::string InChild(const std::filesystem::path& home, const std::function<std::string()>& fn) {
    int fds[2];
    if (pipe(fds) != 0) {
        return "pipe failed";
    }
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        setenv("HOME", home.c_str(), 1);
        const std::string result = fn();
        const ssize_t ignored = write(fds[1], result.data(), result.size());
        (void)ignored;
        close(fds[1]);
        _exit(0);
    }
    close(fds[1]);
    std::string result;
    char buffer[1024];
    ssize_t n = 0;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0) {
        result.append(buffer, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return "child failed";
    }
    return result;
}

void WriteAsoundrc(const test::TTempDir& home, const std::string& text) {
    test::WriteFile(home / ".asoundrc", text);
}

std::string CaptureConfig(const std::filesystem::path& capture) {
    return "pcm.!default {\n  type plug\n  slave.pcm \"capfile\"\n}\n"
           "pcm.capfile {\n  type file\n  slave.pcm \"null\"\n  file \"" +
           capture.string() + "\"\n  format \"raw\"\n}\n";
}

Bytes MdmfImage() {
    TFskSynth synth;
    TCidRequest request;
    request.Kind = TMessageKind::Mdmf;
    request.NumberText = "8005551212";
    request.NameText = "RINGLARK";
    request.DateText = "1207";
    request.TimeText = "0930";
    return SynthesiseImage(synth, BuildCidMessage(request, {}), TSignalling::CallWaiting);
}

TEST(PortAudioPlayer, PlaysTheImageSamplesByteForByte) {
    test::TTempDir home;
    const auto capture = home / "captured.raw";
    WriteAsoundrc(home, CaptureConfig(capture));
    const Bytes image = MdmfImage();
    const std::string result = InChild(home.Path(), [&] {
        TPortAudioPlayer player;
        return player.Play(image).value_or("ok");
    });
    ASSERT_EQ(result, "ok");
    const Bytes captured = test::ReadFile(capture);
    EXPECT_EQ(captured.size(), image.size() - WavHeaderSize);
    EXPECT_TRUE(captured == image.substr(WavHeaderSize)) << "captured bytes differ from the image";
}

TEST(PortAudioPlayer, PlaysOnlyTheDataSizeOfTheHeader) {
    test::TTempDir home;
    const auto capture = home / "captured.raw";
    WriteAsoundrc(home, CaptureConfig(capture));
    Bytes image = MdmfImage();
    Bytes shortened = image.substr(0, WavHeaderSize + 5000);
    WriteWavHeader(shortened);
    image.replace(0, WavHeaderSize, shortened.substr(0, WavHeaderSize));
    const std::string result = InChild(home.Path(), [&] {
        TPortAudioPlayer player;
        return player.Play(image).value_or("ok");
    });
    ASSERT_EQ(result, "ok");
    EXPECT_EQ(test::ReadFile(capture), shortened.substr(WavHeaderSize));
}

// The same samples as a 16-bit image, each 8-bit sample v as (v - 128) * 256.
Bytes Wide(const Bytes& image) {
    Bytes wide = image.substr(0, WavHeaderSize);
    for (std::size_t i = WavHeaderSize; i < image.size(); ++i) {
        const int v = (static_cast<uint8_t>(image[i]) - 128) * 256;
        wide += static_cast<char>(v & 0xFF);
        wide += static_cast<char>((v >> 8) & 0xFF);
    }
    const auto le32 = [&wide](std::size_t at, uint32_t v) {
        for (int k = 0; k < 4; ++k) {
            wide[at + k] = static_cast<char>((v >> (8 * k)) & 0xFF);
        }
    };
    const auto data = static_cast<uint32_t>(wide.size() - WavHeaderSize);
    le32(4, 36 + data);
    le32(28, 2 * 44100);  // bytes per second
    wide[32] = 2;         // bytes per frame
    wide[34] = 16;        // bits per sample
    le32(40, data);
    return wide;
}

TEST(PortAudioPlayer, PlaysSixteenBitImagesAsSixteenBitSamples) {
    test::TTempDir home;
    const auto capture = home / "captured.raw";
    // the card takes 16-bit samples: 8-bit ones would be widened on the way
    WriteAsoundrc(home,
                  "pcm.!default {\n  type plug\n  slave { pcm \"capfile\" format S16_LE }\n}\n"
                  "pcm.capfile {\n  type file\n  slave.pcm \"null\"\n  file \"" +
                      capture.string() + "\"\n  format \"raw\"\n}\n");
    const Bytes image = Wide(MdmfImage());
    const std::string result = InChild(home.Path(), [&] {
        TPortAudioPlayer player;
        return player.Play(image).value_or("ok");
    });
    ASSERT_EQ(result, "ok");
    const Bytes captured = test::ReadFile(capture);
    EXPECT_EQ(captured.size(), image.size() - WavHeaderSize);
    EXPECT_TRUE(captured == image.substr(WavHeaderSize)) << "captured bytes differ from the image";
}

TEST(PortAudioPlayer, MissingDeviceIsReportedNotThrown) {
    test::TTempDir home;
    WriteAsoundrc(home, "pcm.!default {\n  type hw\n  card 97\n}\n");
    const Bytes image = MdmfImage();
    const std::string result = InChild(home.Path(), [&] {
        TPortAudioPlayer player;
        return player.Play(image).value_or("ok");
    });
    EXPECT_EQ(result.rfind("Sound could not be played: ", 0), 0u) << result;
}

TEST(PortAudioPlayer, NotAWavImage) {
    TPortAudioPlayer player;
    EXPECT_EQ(player.Play("short").value_or("ok"), "Sound could not be played: not a WAV image");
}

}  // namespace
}  // namespace ringlark
