// The loop-back calibration over simulated sound paths, and the line test
// against its simulated peer.
#include <gtest/gtest.h>

#include "handshake/SimulatedLine.h"
#include "handshake/linetest/LineTest.h"
#include "handshake/linetest/LoopbackCalibration.h"
#include "tests/support/TestSignals.h"

namespace ringlark {
namespace {

// The click comes back after the path's round trip, found to the sample; a
// path that returns nothing gives no figure once the listening is over.
TEST(LoopbackCalibration, FindsTheRoundTripOfTheSoundPath) {
    for (double rate : {8000.0, 44100.0}) {
        for (int delay : {1, 37, 1234}) {
            SCOPED_TRACE(delay);
            TLoopbackCalibration calibration(rate);
            std::vector<float> line(static_cast<std::size_t>(delay), 0.0f);
            TLineNoise noise(3, -50);
            while (!calibration.Done()) {
                float in = line.front() * 0.7f + noise.Next(), out = 0;
                line.erase(line.begin());
                calibration.Process({&in, 1}, {&out, 1});
                line.push_back(out);
            }
            ASSERT_TRUE(calibration.RoundTrip());
            EXPECT_EQ(*calibration.RoundTrip(), delay);
        }
    }
    TLoopbackCalibration unplugged(8000, 100);
    int samples = 0;
    while (!unplugged.Done()) {
        float in = 0, out = 0;
        unplugged.Process({&in, 1}, {&out, 1});
        ++samples;
    }
    EXPECT_EQ(samples, 800);
    EXPECT_FALSE(unplugged.RoundTrip());
}

// The set's side against the simulated exchange over a path of 20 ms each
// way: with the path's round trip as its latency, the set answers early by
// that much, so its 80 ms are what the line carries.
TEST(LineTest, SetAgainstTheSimulatedExchangeTakesThePathOut) {
    TLineTestSettings settings;
    settings.Role = TLineRole::Set;
    settings.AckDelayMs = 80;
    settings.Repeats = 2;
    settings.PauseMs = 300;
    settings.Message = ExampleMdmfMessage();
    TSimulatedLine line;
    line.DelayMs = 20;
    TSimulatedPeer peer(8000, settings, line);
    EXPECT_EQ(peer.LatencySamples(), 321);  // 2 x 160 samples and one
    std::atomic<bool> stop{false};
    TLineTest test;
    std::vector<std::vector<TStepRow>> runs;
    test.OnRun = [&](int, const std::vector<TStepRow>& rows) { runs.push_back(rows); };
    const std::string summary = test.Run(settings, peer, stop);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0][3].Measured, "D after 80.0 ms, 60.0 ms");
    EXPECT_EQ(summary.substr(0, 43), "2 runs, 0 without data read in the window; ");
}

}  // namespace
}  // namespace ringlark
