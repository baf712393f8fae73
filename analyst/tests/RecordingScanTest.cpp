// The scan of a recording for its messages, block by block.
#include <gtest/gtest.h>
#include <sndfile.h>

#include "analyst/AnyRecording.h"
#include "analyst/tests/CallsRecording.h"
#include "core/RinglarkError.h"
#include "tests/support/TestSupport.h"

namespace ringlark {
namespace {

struct TScanned {
    std::vector<TStreamEvent> Events;
    std::vector<double> Heard;
    std::vector<std::pair<int64_t, int64_t>> Progress;
    bool Completed = false;
};

TScanned Scan(const std::string& path, std::size_t blockFrames = ScanBlockFrames,
              int blocksBeforeCancel = -1) {
    TScanned out;
    TScanCallbacks callbacks;
    callbacks.Found = [&out](const TStreamEvent& event, double heard) {
        out.Events.push_back(event);
        out.Heard.push_back(heard);
    };
    callbacks.Progress = [&out](int64_t done, int64_t total) {
        out.Progress.emplace_back(done, total);
    };
    callbacks.Cancelled = [&out, blocksBeforeCancel] {
        return blocksBeforeCancel >= 0 &&
               static_cast<int>(out.Progress.size()) >= blocksBeforeCancel;
    };
    out.Completed = ScanRecording(path, callbacks, blockFrames);
    return out;
}

std::string TagOf(const TStreamEvent& e) {
    switch (e.Kind) {
        case TStreamEvent::TKind::Message:
            return std::string(e.Message.Tag());
        case TStreamEvent::TKind::Dtmf:
            return "DTMF";
        case TStreamEvent::TKind::DualTone:
            return "CAS";
        case TStreamEvent::TKind::Subscriber:
            return "SAS";
    }
    return "";
}

// Every placed call found once, in order, at its time, with its exact bytes;
// nothing else found.
void ExpectCalls(const TScanned& scanned, const test::TCallsRecording& recording,
                 const std::string& name) {
    ASSERT_EQ(scanned.Events.size(), recording.Events.size()) << name;
    for (std::size_t i = 0; i < scanned.Events.size(); ++i) {
        const TStreamEvent& e = scanned.Events[i];
        const test::TExpectedEvent& expected = recording.Events[i];
        EXPECT_EQ(TagOf(e), expected.Tag) << name << " " << i;
        EXPECT_NEAR(e.Seconds(), expected.Seconds, 0.004) << name << " " << expected.Tag;
        EXPECT_GE(scanned.Heard[i], e.Seconds()) << name << " " << expected.Tag;
        if (e.Kind == TStreamEvent::TKind::Message) {
            EXPECT_EQ(test::ToHex(e.Message.Message), test::ToHex(expected.Message)) << name;
            EXPECT_FALSE(e.Message.Uncertain) << name;
        } else if (e.Kind == TStreamEvent::TKind::Dtmf) {
            EXPECT_EQ(e.Dtmf.Digits, expected.Message) << name;
        }
    }
}

TEST(RecordingScan, FindsEveryMessageAtItsTimeWithItsBytes) {
    test::TTempDir dir;
    // at 44100/s the first two calls (Bell 202 and V.23) only
    const std::vector<std::tuple<int, int, int, int, const char*>> kinds = {
        {8000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 4, "8k.wav"},
        {8000, 2, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 4, "8k-stereo.flac"},
        {44100, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, "44k-stereo.wav"},
    };
    for (const auto& [rate, channels, format, calls, name] : kinds) {
        const auto path = (dir / name).string();
        const test::TCallsRecording recording =
            test::WriteCallsRecording(path, rate, channels, format, calls);
        const TScanned scanned = Scan(path);
        EXPECT_TRUE(scanned.Completed) << name;
        ExpectCalls(scanned, recording, name);
        // progress after each block, up to the whole file
        const auto total = static_cast<int64_t>(recording.Seconds * rate);
        ASSERT_EQ(scanned.Progress.size(),
                  static_cast<std::size_t>((total + ScanBlockFrames - 1) / ScanBlockFrames))
            << name;
        EXPECT_EQ(scanned.Progress.front(),
                  std::make_pair(static_cast<int64_t>(ScanBlockFrames), total))
            << name;
        EXPECT_EQ(scanned.Progress.back(), std::make_pair(total, total)) << name;
    }
}

TEST(RecordingScan, TheBlockSizeChangesNothingFound) {
    test::TTempDir dir;
    const auto path = (dir / "calls.wav").string();
    const test::TCallsRecording recording = test::WriteCallsRecording(path, 11025, 1);
    // blocks of 1000 frames: fed in tenths of a second (1102 frames) cut by them
    const TScanned scanned = Scan(path, 1000);
    ExpectCalls(scanned, recording, "1000");
    EXPECT_EQ(scanned.Progress.size(), (11025u * 17 + 999) / 1000);
}

TEST(RecordingScan, CancelStopsItBetweenBlocks) {
    test::TTempDir dir;
    const auto path = (dir / "calls.wav").string();
    const test::TCallsRecording recording = test::WriteCallsRecording(path, 8000, 1);
    // ten blocks of 8000 frames: the first ten seconds, two calls, and no more
    const TScanned scanned = Scan(path, 8000, 10);
    EXPECT_FALSE(scanned.Completed);
    ASSERT_EQ(scanned.Progress.size(), 10u);
    EXPECT_EQ(scanned.Progress.back(), std::make_pair(int64_t{80000}, int64_t{136000}));
    ASSERT_EQ(scanned.Events.size(), 2u);
    EXPECT_EQ(TagOf(scanned.Events[0]), "CORR");
    EXPECT_EQ(TagOf(scanned.Events[1]), "V23");
    // cancelled before the first block: nothing read
    const TScanned none = Scan(path, 8000, 0);
    EXPECT_FALSE(none.Completed);
    EXPECT_TRUE(none.Progress.empty());
    EXPECT_TRUE(none.Events.empty());
}

TEST(RecordingScan, WhatCannotBeScannedIsRefusedWithItsReason) {
    test::TTempDir dir;
    const auto text = (dir / "text.wav").string();
    test::WriteFile(text, "not a sound");
    EXPECT_EQ(test::ErrorOf([&] { Scan(text); }), "Cannot open file " + text);
    const auto none = (dir / "none.wav").string();
    EXPECT_EQ(test::ErrorOf([&] { Scan(none); }), "Cannot open file " + none);
    // rates the stream decoder does not take: its own error
    for (const int rate : {4000, 384000}) {
        const auto path = (dir / (std::to_string(rate) + ".wav")).string();
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = 1;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
        ASSERT_NE(file, nullptr);
        const std::vector<float> quiet(1000);
        sf_writef_float(file, quiet.data(), 1000);
        sf_close(file);
        const std::string expected = test::ErrorOf([rate] { TStreamDecoder decoder(rate, true); });
        EXPECT_NE(expected, "(no error)");
        EXPECT_EQ(test::ErrorOf([&] { Scan(path); }), expected) << rate;
    }
}

TEST(RecordingScan, TheHeaderTellsTheLength) {
    test::TTempDir dir;
    const auto path = (dir / "calls.flac").string();
    test::WriteCallsRecording(path, 8000, 2, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    const TRecordingInfo info = ReadRecordingInfo(path);
    EXPECT_EQ(info.Rate, 8000);
    EXPECT_EQ(info.Channels, 2);
    EXPECT_EQ(info.Frames, 136000);
    EXPECT_DOUBLE_EQ(info.Seconds(), 17.0);
    EXPECT_EQ(test::ErrorOf([&] { ReadRecordingInfo((dir / "none.wav").string()); }),
              "Cannot open file " + (dir / "none.wav").string());
}

}  // namespace
}  // namespace ringlark
