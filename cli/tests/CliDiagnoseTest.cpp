// ringlark-cli diagnose on line recordings with rings: the report's sentences,
// evidence, every message's bytes and the advice, as text, JSON and from a
// raw stream on standard input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>

#include "cli/tests/CliRun.h"
#include "diagnosis/LineRecording.h"
#include "testsignal/TestSignal.h"

namespace ringlark {
namespace {

using test::RunCli;
using test::RunShell;

// Two calls of North American ringing 16 s apart, each with a Bell 202
// message between the first and second ring; the first message's checksum is
// wrong.
std::vector<float> TwoCalls() {
    TLineRecordingLayout layout;
    layout.Rate = 8000;
    layout.Seconds = 26;
    for (double call : {0.0, 16.0}) {
        for (const auto& ring : NorthAmericanCadence(call + 0.5, 2)) {
            layout.Rings.push_back(ring);
        }
        TTestSignal s;
        s.Rate = 8000;
        s.Message = ExampleMdmfMessage();
        if (call == 0) {
            s.Message.back() = static_cast<char>(s.Message.back() ^ 0x01);
        }
        s.Impairments.LevelDbfs = -20;
        layout.Signals.push_back({call + 3.5 - TestSignalPaddingSeconds, SynthesiseTestSignal(s)});
    }
    return SynthesiseLineRecording(layout);
}

const char* const kSentences[] = {
    "Caller ID is sent as Bell 202 FSK between the first and second ring.",
    "Level -30.0 dBm, within limits.",
    "1 of 2 messages fails the checksum: a receiver that drops bad messages shows RING only.",
    "2 calls heard; 1 of 2 messages decoded.",
};

TEST(CliDiagnose, ReportsTheSentencesEvidenceBytesAndAdviceOfARecording) {
    test::TTempDir dir;
    const auto wav = dir / "line.wav";
    const auto samples = TwoCalls();
    test::WriteFile(wav, EncodeWav(samples, 8000, TSampleFormat::S16));
    const auto run = RunCli("diagnose " + wav.string() + " --dbm-at-fs -10");
    EXPECT_EQ(run.Status, 3) << run.Err;
    const std::string expectedTop = "Line diagnosis of " + wav.string() +
                                    ": 26.0 s at 8000 samples/s\n\n"
                                    "Caller ID is sent as Bell 202 FSK between the first and "
                                    "second ring.\nLevel -30.0 dBm, within limits.\n"
                                    "1 of 2 messages fails the checksum: a receiver that drops "
                                    "bad messages shows RING only.\n"
                                    "2 calls heard; 1 of 2 messages decoded.\n\nEvidence\n";
    EXPECT_EQ(run.Out.substr(0, expectedTop.size()), expectedTop) << run.Out;
    Bytes bad = ExampleMdmfMessage();
    bad.back() = static_cast<char>(bad.back() ^ 0x01);
    std::string hex;
    for (unsigned char c : bad) {
        char two[4];
        std::snprintf(two, sizeof two, "%s%02X", hex.empty() ? "" : " ", c);
        hex += two;
    }
    EXPECT_NE(
        run.Out.find("  1. 3.90 s, Bell 202 FSK: FAILED, checksum 0x83, the bytes ask for 0x82\n"),
        std::string::npos)
        << run.Out;
    EXPECT_NE(run.Out.find("     " + hex + "\n"), std::string::npos) << run.Out;
    EXPECT_NE(
        run.Out.find(
            "     Date: 12/07; Time: 09:30; Calling Number: 8005551212; Calling Name: JOHN DOE\n"),
        std::string::npos);
    EXPECT_NE(run.Out.find("    Ring burst 4"), std::string::npos);
    EXPECT_NE(run.Out.find("\nAdvice\n  Telephone or caller-ID box: The set must support Bell "
                           "202 caller ID"),
              std::string::npos)
        << run.Out;
    EXPECT_NE(run.Out.find("  Modem: Rockwell-family modems present no caller ID at all when the "
                           "checksum fails"),
              std::string::npos);
    EXPECT_NE(run.Out.find("  Telephony software: Asterisk/DAHDI FXO port: cidsignalling=bell"),
              std::string::npos);

    // JSON: the same sentences, the bytes of both messages, where the first broke
    const auto json = RunCli("diagnose --json " + wav.string() + " --dbm-at-fs -10");
    EXPECT_EQ(json.Status, 3);
    const auto report = nlohmann::json::parse(json.Out);
    ASSERT_EQ(report["sentences"].size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(report["sentences"][i], kSentences[i]);
    }
    ASSERT_EQ(report["messages"].size(), 2u);
    EXPECT_EQ(report["messages"][0]["bytes"], hex);
    EXPECT_EQ(report["messages"][0]["decoded"], false);
    EXPECT_EQ(report["messages"][0]["frames"].size(), bad.size());
    EXPECT_EQ(report["messages"][1]["decoded"], true);
    EXPECT_EQ(report["messages"][1]["placement"], "between");
    EXPECT_EQ(report["rings"].size(), 4u);
    EXPECT_EQ(report["findings"], nlohmann::json::array({"checksum"}));
    EXPECT_EQ(report["calls"], 2);

    // the same recording as raw samples on standard input
    std::string raw;
    for (float v : samples) {
        const auto s = static_cast<int16_t>(std::lround(std::clamp(v, -1.0f, 1.0f) * 32767));
        raw += static_cast<char>(s & 0xFF);
        raw += static_cast<char>((s >> 8) & 0xFF);
    }
    const auto rawPath = dir / "line.raw";
    test::WriteFile(rawPath, raw);
    const auto piped = RunShell("cat " + rawPath.string() +
                                " | CLI diagnose --json --input - --raw s16le --rate 8000 "
                                "--dbm-at-fs -10");
    EXPECT_EQ(piped.Status, 3) << piped.Err;
    const auto streamed = nlohmann::json::parse(piped.Out);
    EXPECT_EQ(streamed["sentences"], report["sentences"]);
    EXPECT_EQ(streamed["source"], "standard input");
}

TEST(CliDiagnose, AGoodLineExitsZeroAndTheAdviceFileCanBeGiven) {
    test::TTempDir dir;
    TLineRecordingLayout layout;
    layout.Seconds = 9;
    layout.Rings = NorthAmericanCadence(0.5, 2);
    TTestSignal s;
    s.Rate = 8000;
    s.Message = ExampleMdmfMessage();
    layout.Signals.push_back({3.3, SynthesiseTestSignal(s)});
    const auto wav = dir / "good.wav";
    test::WriteFile(wav, EncodeWav(SynthesiseLineRecording(layout), 8000, TSampleFormat::S16));
    const auto advice = dir / "advice.json";
    test::WriteFile(advice, R"({"advice": [{"receiver": "modem", "when": {"standard": "bell"},
        "text": "Send AT+VCID=1.", "source": "the manual", "sure": false}]})");
    const auto run = RunCli("diagnose " + wav.string() + " --advice " + advice.string());
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_NE(run.Out.find("1 call heard; all decoded; checksums good.\n"), std::string::npos)
        << run.Out;
    EXPECT_NE(run.Out.find("\nAdvice\n  Modem: (not sure) Send AT+VCID=1.\n    Source: the "
                           "manual\n"),
              std::string::npos)
        << run.Out;
}

// The sound card's default input reading a caller-ID signal through ALSA's
// file plugin (signed 16-bit mono at 44100/s). The plugin reads its file as
// fast as it is asked and starts it again after an overrun, so ringing's
// cadence cannot be kept through it: the rings are tested on files and
// streams above.
TEST(CliDiagnose, ListensToTheSoundCardForAGivenTime) {
    test::TTempDir dir;
    TTestSignal s;
    s.Rate = 44100;
    s.Message = ExampleMdmfMessage();
    s.Impairments.LevelDbfs = -20;
    std::string raw;
    for (float v : SynthesiseTestSignal(s)) {
        const auto x = static_cast<int16_t>(std::lround(std::clamp(v, -1.0f, 1.0f) * 32767));
        raw += static_cast<char>(x & 0xFF);
        raw += static_cast<char>((x >> 8) & 0xFF);
    }
    const auto home = test::AlsaHome(dir, raw);
    const auto run = RunShell("ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 HOME=" + home.string() +
                              " CLI diagnose --json --device default --rate 44100 --seconds 1.6");
    EXPECT_EQ(run.Status, 0) << run.Err;
    const auto report = nlohmann::json::parse(run.Out);
    ASSERT_GE(report["sentences"].size(), 1u);
    EXPECT_EQ(report["sentences"][0], "Caller ID is sent as Bell 202 FSK with no ringing heard.");
    ASSERT_GE(report["messages"].size(), 1u);
    EXPECT_EQ(report["messages"][0]["decoded"], true);
    EXPECT_EQ(report["seconds"], 1.6);
    EXPECT_EQ(run.Err.rfind("Listening on ", 0), 0u) << run.Err;
}

TEST(CliDiagnose, WrongUseIsAUsageErrorThatSaysWhy) {
    const auto both = RunCli("diagnose a.wav --input -");
    EXPECT_EQ(both.Status, 2);
    EXPECT_EQ(both.Err, "ringlark-cli: give one of FILE, --input and --device\n");
    const auto raw = RunCli("diagnose --raw s16le --rate 8000");
    EXPECT_EQ(raw.Status, 2);
    EXPECT_EQ(raw.Err, "ringlark-cli: --raw needs --input\n");
    const auto none = RunCli("diagnose");
    EXPECT_EQ(none.Status, 2);
    EXPECT_EQ(none.Err, "ringlark-cli: give a recording (FILE), --input or --device\n");
    const auto missing = RunCli("diagnose /nonexistent/line.wav");
    EXPECT_EQ(missing.Status, 1);
    EXPECT_NE(missing.Err.find("Cannot open file /nonexistent/line.wav"), std::string::npos)
        << missing.Err;
}

}  // namespace
}  // namespace ringlark
