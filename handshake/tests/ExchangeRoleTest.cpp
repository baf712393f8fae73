// The exchange against simulated sets and the set against the exchange: what
// each hears and sends, timed in samples, at the rates of a telephone line
// and of a sound card.
#include <gtest/gtest.h>

#include "handshake/HandshakeReport.h"
#include "handshake/SimulatedLine.h"
#include "tests/support/TestSignals.h"
#include "tests/support/TestSupport.h"

namespace ringlark {
namespace {

constexpr double kToleranceMs = 2.0;

struct TSetUp {
    double AckDelayMs = 50;
    double AckMs = 60;
    char Digit = 'D';
    bool Answer = true;
    bool WaitForAck = true;
    int Repeats = 1;
    TSimulatedLine Line;
    TCidStandard Standard = TCidStandard::Bell202;
    bool LatencyAtTheSet = false;  // the sound path is the set's, not the exchange's
};

struct TOutcome {
    std::vector<TExchangeRun> Exchange;
    std::vector<TSetRun> Set;
};

TOutcome Simulate(double rate, const TSetUp& setUp) {
    const TCallWaitingTiming timing = *CallWaitingTimingFor(setUp.Standard);
    TExchangeRole::TSettings exchangeSettings;
    exchangeSettings.Timing = timing;
    exchangeSettings.Message = ExampleMdmfMessage();
    exchangeSettings.WaitForAck = setUp.WaitForAck;
    exchangeSettings.Repeats = setUp.Repeats;
    exchangeSettings.PauseMs = 400;
    const int64_t roundTrip = RoundTripSamples(setUp.Line, rate);
    exchangeSettings.LatencySamples = setUp.LatencyAtTheSet ? 0 : roundTrip;
    TSetRole::TSettings setSettings;
    setSettings.Timing = timing;
    setSettings.Timing.AckDelayMs = setUp.AckDelayMs;
    setSettings.Timing.AckMs = setUp.AckMs;
    setSettings.Timing.AckDigit = setUp.Digit;
    setSettings.Answer = setUp.Answer;
    setSettings.LatencySamples = setUp.LatencyAtTheSet ? roundTrip : 0;
    TExchangeRole exchange(rate, exchangeSettings);
    TSetRole set(rate, setSettings);
    RunSimulation(exchange, set, setUp.Line);
    return {exchange.Runs(), set.Runs()};
}

class HandshakeAtRate : public ::testing::TestWithParam<double> {};

// A set that answers D 50 ms after the CAS for 60 ms: the exchange hears
// exactly that, sends the data 100 ms after the ACK, and the set measures the
// same 100 ms and reads the message with its 80-bit mark run.
TEST_P(HandshakeAtRate, OnTimeAckGetsTheDataAtItsDelay) {
    const TOutcome out = Simulate(GetParam(), {});
    ASSERT_EQ(out.Exchange.size(), 1u);
    const TExchangeRun& run = out.Exchange[0];
    EXPECT_EQ(run.Verdict, TAckVerdict::Valid);
    ASSERT_TRUE(run.Ack);
    EXPECT_EQ(run.Ack->Digit, 'D');
    EXPECT_NEAR(run.Ack->DelayMs, 50, kToleranceMs);
    EXPECT_NEAR(run.Ack->LengthMs, 60, kToleranceMs);
    EXPECT_NEAR(run.Ack->LowDbfs, -12, 0.5);
    EXPECT_NEAR(run.Ack->HighDbfs, -12, 0.5);
    EXPECT_NEAR(run.Ack->TwistDb, 0, 0.5);
    EXPECT_TRUE(run.DataSent);
    ASSERT_TRUE(run.AckEndToDataMs);
    EXPECT_NEAR(*run.AckEndToDataMs, 100, kToleranceMs);

    ASSERT_EQ(out.Set.size(), 1u);
    const TSetRun& set = out.Set[0];
    ASSERT_TRUE(set.Sas);
    EXPECT_NEAR(set.Sas->Duration * 1000, 300, kToleranceMs);
    EXPECT_EQ(set.CasVerdict, TCasVerdict::Valid);
    EXPECT_NEAR(set.Cas.Duration * 1000, 80, kToleranceMs);
    EXPECT_NEAR(set.Cas.LowHz, 2130, 2130 * 0.005);
    EXPECT_NEAR(set.Cas.HighHz, 2750, 2750 * 0.005);
    EXPECT_NEAR(set.Cas.LowDbfs, -12, 0.5);
    EXPECT_TRUE(set.AckSent);
    EXPECT_NEAR(set.AckDelayMs, 50, kToleranceMs);
    ASSERT_TRUE(set.AckEndToDataMs);
    EXPECT_NEAR(*set.AckEndToDataMs, 100, kToleranceMs);
    EXPECT_NEAR(set.MarkMs, 80 * 1000.0 / 1200, kToleranceMs);
    EXPECT_EQ(set.DataVerdict, TDataVerdict::InWindow);
    ASSERT_TRUE(set.Message);
    EXPECT_EQ(test::ToHex(set.Message->Message), test::ToHex(ExampleMdmfMessage()));
}

// Each way the ACK can fail the exchange's rules: no data follows, and the
// set, listening on, reports that none came.
TEST_P(HandshakeAtRate, RefusedAckGetsNoData) {
    struct TCase {
        const char* Why;
        TSetUp SetUp;
        TAckVerdict Verdict;
        double DelayMs, LengthMs;
    };
    TSetUp late, shortAck, wrong, none, longAck;
    late.AckDelayMs = 130;
    shortAck.AckMs = 45;
    longAck.AckMs = 80;
    wrong.Digit = 'A';
    none.Answer = false;
    const TCase cases[] = {
        {"late", late, TAckVerdict::Late, 130, 60},
        {"too short", shortAck, TAckVerdict::TooShort, 50, 45},
        {"too long", longAck, TAckVerdict::TooLong, 50, 80},
        {"wrong digit", wrong, TAckVerdict::WrongDigit, 50, 60},
        {"none", none, TAckVerdict::None, 0, 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Why);
        const TOutcome out = Simulate(GetParam(), c.SetUp);
        ASSERT_EQ(out.Exchange.size(), 1u);
        EXPECT_EQ(out.Exchange[0].Verdict, c.Verdict);
        EXPECT_FALSE(out.Exchange[0].DataSent);
        EXPECT_FALSE(out.Exchange[0].AckEndToDataMs);
        if (c.Verdict != TAckVerdict::None) {
            ASSERT_TRUE(out.Exchange[0].Ack);
            EXPECT_EQ(out.Exchange[0].Ack->Digit, c.SetUp.Digit);
            EXPECT_NEAR(out.Exchange[0].Ack->DelayMs, c.DelayMs, kToleranceMs);
            EXPECT_NEAR(out.Exchange[0].Ack->LengthMs, c.LengthMs, kToleranceMs);
        } else {
            EXPECT_FALSE(out.Exchange[0].Ack);
        }
        ASSERT_EQ(out.Set.size(), 1u);
        EXPECT_EQ(out.Set[0].DataVerdict, TDataVerdict::None);
        EXPECT_FALSE(out.Set[0].Message);
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, HandshakeAtRate, ::testing::Values(8000.0, 44100.0));

// Without waiting, the data follows the CAS where a nominal ACK would have
// put it (50 + 60 + 100 ms after the CAS), and a set that never answers reads
// it.
TEST(Handshake, NoAckWaitSendsTheDataAnyway) {
    TSetUp setUp;
    setUp.Answer = false;
    setUp.WaitForAck = false;
    const TOutcome out = Simulate(8000, setUp);
    ASSERT_EQ(out.Exchange.size(), 1u);
    EXPECT_EQ(out.Exchange[0].Verdict, TAckVerdict::None);
    EXPECT_TRUE(out.Exchange[0].DataSent);
    EXPECT_NEAR((out.Exchange[0].DataSeconds - out.Exchange[0].CasEndSeconds) * 1000, 210, 0.2);
    ASSERT_EQ(out.Set.size(), 1u);
    EXPECT_FALSE(out.Set[0].AckSent);
    ASSERT_TRUE(out.Set[0].Message);
    EXPECT_EQ(test::ToHex(out.Set[0].Message->Message), test::ToHex(ExampleMdmfMessage()));
}

// A sound path 25 ms long each way with noise 40 dB under full scale: the
// exchange, given the round trip as its latency, reports the set's own 70 ms
// and places its data so that the set hears it 100 ms after its ACK.
TEST(Handshake, LatencyIsTakenOutWhereItIsKnown) {
    TSetUp setUp;
    setUp.AckDelayMs = 70;
    setUp.Line.DelayMs = 25;
    setUp.Line.NoiseDbfs = -40;
    setUp.Line.Seed = 7;
    const TOutcome out = Simulate(8000, setUp);
    ASSERT_EQ(out.Exchange.size(), 1u);
    ASSERT_TRUE(out.Exchange[0].Ack);
    EXPECT_EQ(out.Exchange[0].Verdict, TAckVerdict::Valid);
    EXPECT_NEAR(out.Exchange[0].Ack->DelayMs, 70, kToleranceMs);
    EXPECT_NEAR(out.Exchange[0].Ack->LengthMs, 60, kToleranceMs);
    ASSERT_EQ(out.Set.size(), 1u);
    ASSERT_TRUE(out.Set[0].AckEndToDataMs);
    EXPECT_NEAR(*out.Set[0].AckEndToDataMs, 100, kToleranceMs);
    ASSERT_TRUE(out.Set[0].Message);
    EXPECT_EQ(test::ToHex(out.Set[0].Message->Message), test::ToHex(ExampleMdmfMessage()));

    // the same path on the set's side: it answers so that the exchange hears
    // 70 ms, and takes the path out of the 100 ms it measures
    setUp.LatencyAtTheSet = true;
    const TOutcome atSet = Simulate(8000, setUp);
    ASSERT_TRUE(atSet.Exchange[0].Ack);
    EXPECT_NEAR(atSet.Exchange[0].Ack->DelayMs, 70, kToleranceMs);
    EXPECT_NEAR(atSet.Set[0].AckDelayMs, 70, kToleranceMs);
    ASSERT_TRUE(atSet.Set[0].AckEndToDataMs);
    EXPECT_NEAR(*atSet.Set[0].AckEndToDataMs, 100, kToleranceMs);
}

// The V.23 standards: ETSI without a beep, BT with its 70 ms ACK and data 50
// ms after it; the set reads the message in V.23.
TEST(Handshake, V23StandardsCarryTheirOwnFigures) {
    for (TCidStandard standard : {TCidStandard::EtsiV23, TCidStandard::Bt}) {
        SCOPED_TRACE(std::string(StandardName(standard)));
        const TCallWaitingTiming timing = *CallWaitingTimingFor(standard);
        TSetUp setUp;
        setUp.Standard = standard;
        setUp.AckMs = timing.AckMs;
        const TOutcome out = Simulate(8000, setUp);
        ASSERT_EQ(out.Exchange.size(), 1u);
        EXPECT_EQ(out.Exchange[0].Verdict, TAckVerdict::Valid);
        EXPECT_FALSE(out.Exchange[0].SasSent);
        ASSERT_TRUE(out.Exchange[0].AckEndToDataMs);
        EXPECT_NEAR(*out.Exchange[0].AckEndToDataMs, timing.DataDelayMs, kToleranceMs);
        ASSERT_EQ(out.Set.size(), 1u);
        EXPECT_FALSE(out.Set[0].Sas);
        EXPECT_EQ(out.Set[0].CasVerdict, TCasVerdict::Valid);
        EXPECT_EQ(out.Set[0].DataVerdict, TDataVerdict::InWindow);
        ASSERT_TRUE(out.Set[0].Message);
        EXPECT_EQ(out.Set[0].Message->Standard, TCidStandard::EtsiV23);
        EXPECT_EQ(test::ToHex(out.Set[0].Message->Message), test::ToHex(ExampleMdmfMessage()));
    }
    EXPECT_FALSE(CallWaitingTimingFor(TCidStandard::Dtmf));
}

// Repeats: each run is judged on its own, and the summary spans them.
TEST(Handshake, RepeatsAreSummarised) {
    TSetUp setUp;
    setUp.Repeats = 3;
    const TOutcome out = Simulate(8000, setUp);
    ASSERT_EQ(out.Exchange.size(), 3u);
    ASSERT_EQ(out.Set.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(out.Exchange[i].Index, i + 1);
        EXPECT_EQ(out.Exchange[i].Verdict, TAckVerdict::Valid);
        EXPECT_TRUE(out.Set[i].Message);
    }
    const TExchangeSummary summary = SummariseExchange(out.Exchange);
    EXPECT_EQ(summary.Runs, 3);
    EXPECT_EQ(summary.Failures, 0);
    EXPECT_EQ(summary.AckDelayMs.Count, 3);
    EXPECT_NEAR(summary.AckDelayMs.Min, 50, kToleranceMs);
    EXPECT_NEAR(summary.AckDelayMs.Max, 50, kToleranceMs);
    EXPECT_EQ(SummariseSet(out.Set).Failures, 0);
}

}  // namespace
}  // namespace ringlark
