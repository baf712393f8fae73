// The parts the roles are made of: the figures' checks, the output track, the
// signals, and the report's rows and summaries.
#include <gtest/gtest.h>

#include <array>

#include "handshake/HandshakeReport.h"
#include "handshake/LineSignals.h"
#include "handshake/SimulatedLine.h"
#include "tests/support/TestSupport.h"

namespace ringlark {
namespace {

TEST(CallWaitingTiming, FiguresOutOfRangeAreRefusedByName) {
    TCallWaitingTiming timing = *CallWaitingTimingFor(TCidStandard::Bell202);
    EXPECT_EQ(test::ErrorOf([&] { CheckCallWaitingTiming(timing); }), "(no error)");
    TCallWaitingTiming cas = timing;
    cas.CasMs = 0;
    EXPECT_EQ(test::ErrorOf([&] { CheckCallWaitingTiming(cas); }),
              "The CAS length 0 is out of range: 1 to 10000 ms");
    TCallWaitingTiming ack = timing;
    ack.AckMinMs = 70;
    EXPECT_EQ(test::ErrorOf([&] { CheckCallWaitingTiming(ack); }),
              "The shortest ACK (70) is above the longest ACK (65)");
    TCallWaitingTiming digit = timing;
    digit.AckDigit = '5';
    EXPECT_EQ(test::ErrorOf([&] { CheckCallWaitingTiming(digit); }),
              "'5' is not an acknowledgement digit: use A, B, C or D");
    TCallWaitingTiming level = timing;
    level.AckDbfs = -3;
    EXPECT_EQ(test::ErrorOf([&] { CheckCallWaitingTiming(level); }),
              "The ACK level -3 is out of range: -90 to -6 dBFS");
    TExchangeRole::TSettings settings;
    settings.Timing = cas;
    EXPECT_EQ(test::ErrorOf([&] { TExchangeRole(8000, settings); }),
              "The CAS length 0 is out of range: 1 to 10000 ms");
}

// Clips play at the sample they were placed at, one after the other; the
// line is quiet between them.
TEST(OutputTrack, ClipsPlayAtTheirSamplesInOrder) {
    TOutputTrack track;
    EXPECT_EQ(track.Place(2, {1, 2}), 2);
    EXPECT_EQ(track.Place(3, {3}), 4);  // the first still plays: it waits
    EXPECT_EQ(track.Place(6, {4}), 6);
    EXPECT_EQ(track.End(), 7);
    std::vector<float> played;
    for (int64_t t = 0; t < 8; ++t) {
        played.push_back(track.At(t));
    }
    EXPECT_EQ(played, (std::vector<float>{0, 0, 1, 2, 3, 0, 4, 0}));
}

TEST(LineSignals, FskBurstHasItsBitsAndLevel) {
    // 80 mark bits, one byte (10 bits) and two marks at 1200/s: 92 bits
    const auto burst = FskBurst(Bytes("\x80", 1), 80, kBell202Tones, DbfsToPeak(-10), 8000);
    EXPECT_EQ(burst.size(), std::size_t{613});  // 92 * 8000 / 1200, rounded
    const std::span<const float> marks(burst.data(), 533);
    EXPECT_NEAR(ToneLevelDbfs(marks, 1200, 8000), -10, 0.1);
    EXPECT_LT(ToneLevelDbfs(marks, 2200, 8000), -40);
    const std::array<double, 2> hz = {941, 1633};
    const auto dtmf = Tones(hz, DbfsToPeak(-12), 480, 8000);
    EXPECT_NEAR(ToneLevelDbfs(dtmf, 941, 8000), -12, 0.1);
    EXPECT_NEAR(ToneLevelDbfs(dtmf, 1633, 8000), -12, 0.1);
}

TEST(HandshakeReport, RowsAndSummaryOfARun) {
    const TCallWaitingTiming timing = *CallWaitingTimingFor(TCidStandard::Bell202);
    TExchangeRun run;
    run.Index = 1;
    run.SasSent = true;
    run.CasMs = 80;
    run.Ack = TAckHeard{'A', 104.25, 58, 697, 1633, -12.04, -10, 2.04};
    run.Verdict = TAckVerdict::WrongDigit;
    EXPECT_EQ(RowsText(ExchangeRows(run, timing)),
              "  SAS sent              300.0 ms\n"
              "  CAS sent              80.0 ms\n"
              "  CAS end -> ACK start  104.2 ms     0-100 ms  late\n"
              "  ACK digit             A            D         wrong digit\n"
              "  ACK length            58.0 ms      55-65 ms  ok\n"
              "  ACK levels            697.0 Hz -12.0 dBFS, 1633.0 Hz -10.0 dBFS\n"
              "  ACK twist             2.0 dB\n"
              "  verdict               wrong digit            no data\n");
    TExchangeRun good = run;
    good.Ack->Digit = 'D';
    good.Ack->DelayMs = 40;
    good.Verdict = TAckVerdict::Valid;
    good.DataSent = true;
    good.AckEndToDataMs = 101;
    TExchangeRun none;
    none.Verdict = TAckVerdict::None;
    const TExchangeSummary summary = SummariseExchange({run, good, none, good});
    EXPECT_EQ(summary.Failures, 2);
    EXPECT_EQ(SummaryText(summary),
              "4 runs, 2 without a valid ACK; CAS end -> ACK start 40.0/40.0/104.2 ms "
              "(min/median/max); ACK length 58.0/58.0/58.0 ms (min/median/max); ACK end -> data "
              "101.0/101.0/101.0 ms (min/median/max)");
    const TSpread even = SpreadOf({3, 1, 4, 2});
    EXPECT_EQ(even.Median, 2.5);
}

}  // namespace
}  // namespace ringlark
