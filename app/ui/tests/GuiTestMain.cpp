// The GUI tests' main: ALSA's default device is pointed at files (what is
// played is captured, capture reads a prepared file) and Qt runs offscreen
// before the application starts.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>

#include "tests/support/TestSupport.h"

namespace ringlark::ui {
std::filesystem::path gCapture;
std::filesystem::path gInfeed;
}  // namespace ringlark::ui

int main(int argc, char** argv) {
    // Point ALSA's default device at a capture file before anything opens it.
    const auto home =
        std::filesystem::temp_directory_path() / ("ringlark-gui-" + std::to_string(getpid()));
    std::filesystem::create_directories(home);
    ringlark::ui::gCapture = home / "captured.raw";
    // Capture reads this file (signed 16-bit mono at 44100/s), then silence.
    ringlark::ui::gInfeed = home / "infeed.raw";
    ringlark::test::WriteFile(ringlark::ui::gInfeed, "");
    ringlark::test::WriteFile(
        home / ".asoundrc",
        "pcm.!default {\n  type asym\n  playback.pcm \"outplug\"\n  capture.pcm \"inplug\"\n}\n"
        "pcm.outplug {\n  type plug\n  slave.pcm \"capfile\"\n}\n"
        "pcm.capfile {\n  type file\n  slave.pcm \"null\"\n  file \"" +
            ringlark::ui::gCapture.string() +
            "\"\n  format \"raw\"\n}\n"
            "pcm.inplug {\n  type plug\n  slave {\n    pcm \"feedfile\"\n    format S16_LE\n"
            "    rate 44100\n    channels 1\n  }\n}\n"
            "pcm.feedfile {\n  type file\n  slave.pcm \"null\"\n  file \"/dev/null\"\n"
            "  infile \"" +
            ringlark::ui::gInfeed.string() + "\"\n  format \"raw\"\n}\n");
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    std::filesystem::remove_all(home);
    return result;
}
