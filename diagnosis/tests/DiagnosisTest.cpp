#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "diagnosis/Diagnosis.h"
#include "diagnosis/DiagnosisReport.h"
#include "diagnosis/LineRecording.h"
#include "tests/support/TestSignals.h"
#include "testsignal/TestSignal.h"

// Recordings of a line for each thing a diagnosis names, and the report's
// sentences for each, word for word.
namespace ringlark {
namespace {

constexpr double kRate = 8000;

TTestSignal Signal(TCidStandard standard, const std::function<void(TTestSignal&)>& change = {}) {
    TTestSignal s;
    s.Standard = standard;
    s.Rate = static_cast<int>(kRate);
    if (standard == TCidStandard::Dtmf) {
        s.Digits = "A8005551212C";
    } else {
        s.Message = ExampleMdmfMessage();
        s.Alert = standard == TCidStandard::Bt;
    }
    s.Impairments.LevelDbfs = -20;
    if (change) {
        change(s);
    }
    return s;
}

// The signal with its first sound (alert, seizure or digit) at `at` seconds.
std::pair<double, std::vector<float>> At(double at, const TTestSignal& signal) {
    const TTestTiming t = NominalTiming(signal);
    const bool alerts = t.AlertSeconds > 0 || t.SubscriberAlertSeconds > 0;
    return {at - TestSignalPaddingSeconds - (alerts ? 0 : t.QuietSeconds),
            SynthesiseTestSignal(signal)};
}

struct TLine {
    std::vector<TRingBurstShape> Rings;
    std::vector<std::pair<double, std::vector<float>>> Signals;
    double Seconds = 10;
};

TDiagnosis Heard(const TLine& line, const TDiagnoseOptions& options = {}) {
    TLineRecordingLayout layout;
    layout.Rate = kRate;
    layout.Seconds = line.Seconds;
    layout.Rings = line.Rings;
    layout.Signals = line.Signals;
    return Diagnose(SynthesiseLineRecording(layout), kRate, options);
}

std::vector<std::string> Sentences(const TDiagnosis& d) {
    const auto report = BuildReport(d, TAdviceBook{});
    return report.Sentences;
}

// Every sentence, and the whole report when they differ.
void ExpectSentences(const TDiagnosis& d, const std::vector<std::string>& expected) {
    const auto report = BuildReport(d, TAdviceBook{});
    EXPECT_EQ(report.Sentences, expected) << ReportText(d, report, "test");
}

TDiagnoseOptions Calibrated(double dbmAtFullScale = 0) {
    TDiagnoseOptions o;
    o.DbmAtFullScale = dbmAtFullScale;
    return o;
}

// North American ringing from 0.5 s: rings end at 2.5 s and 8.5 s, the next
// begin at 6.5 s and 12.5 s.
TEST(Diagnosis, BellBetweenTheRingsDecodedWithItsEvidence) {
    TLine line;
    line.Rings = NorthAmericanCadence(0.5, 2);
    line.Signals = {At(3.5, Signal(TCidStandard::Bell202))};
    const TDiagnosis d = Heard(line, Calibrated(-10));
    ExpectSentences(
        d, {"Caller ID is sent as Bell 202 FSK between the first and second ring.",
            "Level -30.0 dBm, within limits.", "1 call heard; all decoded; checksums good."});
    ASSERT_EQ(d.Messages.size(), 1u);
    const TLineMessage& m = d.Messages[0];
    EXPECT_EQ(m.Message, ExampleMdmfMessage());
    EXPECT_NEAR(m.BurstSeconds, 3.5, 0.01);
    EXPECT_NEAR(*m.SinceRingEnd, 1.0, 0.02);
    EXPECT_EQ(m.SeizureBits, 300);
    EXPECT_EQ(m.MarkBits, 180);
    EXPECT_EQ(m.Fields,
              "Date: 12/07; Time: 09:30; Calling Number: 8005551212; Calling Name: JOHN DOE");
    const auto report = BuildReport(d, TAdviceBook{});
    const std::string text = ReportText(d, report, "line.wav");
    EXPECT_NE(text.find("    Data after the end of the first ring  1000 ms"), std::string::npos)
        << text;
    EXPECT_NE(text.find("Ring burst 2"), std::string::npos);
}

TEST(Diagnosis, EtsiBeforeTheFirstRingAfterTheAlertInThreeCalls) {
    TLine line;
    line.Seconds = 30;
    for (double call : {0.0, 10.0, 20.0}) {
        line.Signals.push_back(At(call + 0.5, Signal(TCidStandard::EtsiV23, [](TTestSignal& s) {
                                      s.Alert = true;
                                      s.Impairments.LevelDbfs = -21;
                                  })));
        // DT-AS 100 ms, 60 ms quiet, the data (0.76 s), 300 ms, then rings
        for (const auto& ring : NorthAmericanCadence(call + 1.75, 1)) {
            line.Rings.push_back(ring);
        }
    }
    const TDiagnosis d = Heard(line, Calibrated(-10));
    ExpectSentences(
        d, {"Caller ID is sent as ETSI V.23 FSK before the first ring, after a dual-tone alert "
            "(DT-AS, 100 ms).",
            "Level -31.0 dBm, within limits.", "3 calls heard; all decoded; checksums good."});
    EXPECT_EQ(d.Calls, 3);
}

TEST(Diagnosis, NoSignalWhereTheStandardsPutItAndNothingAtAll) {
    TLine line;
    line.Rings = NorthAmericanCadence(0.5, 2);
    ExpectSentences(Heard(line),
                    {"No caller ID is heard: 2 rings, and nothing before the first ring "
                     "or between the first and second ring, where the standards put it.",
                     "1 call heard."});
    ExpectSentences(Heard(TLine{}), {"Nothing is heard: no ring and no caller ID."});
    // a double ring is one ring
    TLine uk;
    uk.Rings = UkCadence(0.5, 2);
    uk.Seconds = 6;
    const TDiagnosis d = Heard(uk);
    EXPECT_EQ(d.Rings.size(), 4u);
    ExpectSentences(d, {"No caller ID is heard: 2 rings, and nothing before the first ring or "
                        "between the first and second ring, where the standards put it.",
                        "1 call heard."});
}

TEST(Diagnosis, AnotherStandardThanTheReceiverExpects) {
    TLine line;
    line.Rings = NorthAmericanCadence(0.5, 2);
    line.Signals = {At(3.2, Signal(TCidStandard::EtsiV23))};
    TDiagnoseOptions options;
    options.Expected = TCidStandard::Bell202;
    ExpectSentences(Heard(line, options),
                    {"Caller ID is sent as ETSI V.23 FSK between the first and second ring.",
                     "Level -20.0 dBFS; not sure whether that is within limits, as the recording's "
                     "level in dBm is not known.",
                     "A receiver set for Bell 202 FSK reads nothing of it.",
                     "1 call heard; all decoded; checksums good."});
}

TEST(Diagnosis, TooWeakTwistedAndNoisySignals) {
    TLine weak;
    weak.Rings = NorthAmericanCadence(0.5, 2);
    weak.Signals = {At(
        3.5, Signal(TCidStandard::Bell202, [](TTestSignal& s) { s.Impairments.LevelDbfs = -45; }))};
    const TDiagnosis w = Heard(weak, Calibrated(0));
    ExpectSentences(w, {"Caller ID is sent as Bell 202 FSK between the first and second ring.",
                        "Level -45.0 dBm, 8.8 dB below the weakest level Bell 202 FSK receivers "
                        "must accept (-36.2 dBm).",
                        "1 call heard; all decoded; checksums good."});
    EXPECT_TRUE(w.Has(TFindingKind::TooWeak));

    TLine twisted;
    twisted.Rings = NorthAmericanCadence(0.5, 2);
    twisted.Signals = {
        At(3.5, Signal(TCidStandard::EtsiV23, [](TTestSignal& s) { s.Impairments.TwistDb = 9; }))};
    ExpectSentences(Heard(twisted, Calibrated(-10)),
                    {"Caller ID is sent as ETSI V.23 FSK between the first and second ring.",
                     "Level -39.0 dBm, 5.2 dB below the weakest level ETSI V.23 FSK receivers must "
                     "accept (-33.8 dBm).",
                     "The twist (mark level minus space level) is 9.0 dB, outside the -6 to +6 dB "
                     "that ETSI V.23 FSK receivers must accept.",
                     "1 call heard; all decoded; checksums good."});

    TLine noisy;
    noisy.Rings = NorthAmericanCadence(0.5, 2);
    noisy.Signals = {
        At(3.5, Signal(TCidStandard::Bell202, [](TTestSignal& s) { s.Impairments.SnrDb = 15; }))};
    const TDiagnosis n = Heard(noisy, Calibrated(-10));
    ASSERT_FALSE(n.Messages.empty());
    ASSERT_TRUE(n.Messages[0].SnrDb.has_value());
    EXPECT_NEAR(*n.Messages[0].SnrDb, 15, 1.5);
    char snr[16];
    std::snprintf(snr, sizeof snr, "%.1f", std::round(*n.Messages[0].SnrDb * 10) / 10);
    ExpectSentences(n, {"Caller ID is sent as Bell 202 FSK between the first and second ring.",
                        "Level -29.9 dBm, within limits.",  // the noise adds a little
                        "The signal stands only " + std::string(snr) +
                            " dB above the noise; Bell 202 FSK receivers need only cope with 25 dB "
                            "or more.",
                        "1 call heard; all decoded; checksums good."});
}

TEST(Diagnosis, DataTooSoonAfterTheAlertAndTooShortAMarkRun) {
    // the alert of one signal, then the data of another 20 ms after it ends
    const auto alert =
        SynthesiseTestSignal(Signal(TCidStandard::EtsiV23, [](TTestSignal& s) { s.Alert = true; }));
    const std::vector<float> alertOnly(
        alert.begin(), alert.begin() + static_cast<std::ptrdiff_t>((0.2 + 0.1) * kRate));
    TLine soon;
    soon.Signals = {{0.3, alertOnly}, At(0.62, Signal(TCidStandard::EtsiV23))};
    soon.Rings = NorthAmericanCadence(1.8, 1);
    soon.Seconds = 5;
    ExpectSentences(Heard(soon),
                    {"Caller ID is sent as ETSI V.23 FSK before the first ring, after a dual-tone "
                     "alert (DT-AS, 100 ms).",
                     "Level -20.0 dBFS; not sure whether that is within limits, as the "
                     "recording's level in dBm is not known.",
                     "The data starts 20 ms after the dual-tone alert ends; the standard asks for "
                     "45 to 500 ms, so a receiver may not be ready for it.",
                     "1 call heard; all decoded; checksums good."});

    TLine shortMark;
    shortMark.Rings = NorthAmericanCadence(0.5, 2);
    shortMark.Signals = {At(
        3.5, Signal(TCidStandard::Bell202, [](TTestSignal& s) { s.Impairments.MarkBits = 40; }))};
    ExpectSentences(Heard(shortMark, Calibrated(-10)),
                    {"Caller ID is sent as Bell 202 FSK between the first and second ring.",
                     "Level -30.0 dBm, within limits.",
                     "The mark run before the message is 40 bits; Bell 202 FSK asks for 155 to "
                     "205 bits, so a receiver may not be ready for the first byte.",
                     "1 call heard; all decoded; checksums good."});
}

TEST(Diagnosis, ChecksumAndStructureFailuresWithTheBytesRead) {
    Bytes bad = ExampleMdmfMessage();
    bad.back() = static_cast<char>(bad.back() ^ 0x10);
    // three calls, each with its message between the first and second ring:
    // two of them bad
    TLine line;
    line.Seconds = 42;
    for (double call : {0.0, 16.0, 32.0}) {
        for (const auto& ring : NorthAmericanCadence(call + 0.5, 2)) {
            line.Rings.push_back(ring);
        }
        line.Signals.push_back(At(call + 3.5, Signal(TCidStandard::Bell202, [&](TTestSignal& s) {
                                      if (call != 16.0) {
                                          s.Message = bad;
                                      }
                                  })));
    }
    const TDiagnosis d = Heard(line, Calibrated(-10));
    ASSERT_EQ(d.Messages.size(), 3u);
    EXPECT_FALSE(d.Messages[0].Decoded);
    EXPECT_EQ(d.Messages[0].Message, bad);
    EXPECT_EQ(
        d.Messages[0].Broke,
        "checksum 0x" +
            [&] {
                char t[4];
                std::snprintf(t, sizeof t, "%02X", static_cast<uint8_t>(bad.back()));
                return std::string(t);
            }() +
            ", the bytes ask for 0x" +
            [&] {
                char t[4];
                std::snprintf(t, sizeof t, "%02X",
                              static_cast<uint8_t>(ExampleMdmfMessage().back()));
                return std::string(t);
            }());
    const auto sentences = Sentences(d);
    ASSERT_GE(sentences.size(), 3u);
    EXPECT_EQ(sentences[sentences.size() - 2],
              "2 of 3 messages fail the checksum: a receiver that drops bad messages shows RING "
              "only.");
    EXPECT_EQ(sentences.back(), "3 calls heard; 1 of 3 messages decoded.");

    // the checksum adds up, the parameters' lengths do not
    Bytes broken = ExampleMdmfMessage();
    broken[3] = 9;  // the date parameter claims 9 bytes
    broken.back() = static_cast<char>(broken.back() - 1);
    TLine structure;
    structure.Rings = NorthAmericanCadence(0.5, 2);
    structure.Signals = {
        At(3.5, Signal(TCidStandard::Bell202, [&](TTestSignal& s) { s.Message = broken; }))};
    const TDiagnosis s = Heard(structure, Calibrated(-10));
    ASSERT_EQ(s.Messages.size(), 1u);
    EXPECT_EQ(s.Messages[0].Message, broken);
    EXPECT_EQ(s.Messages[0].Broke, "parameter length does not fit its type");
    const auto said = Sentences(s);
    ASSERT_EQ(said.size(), 4u);
    EXPECT_EQ(said[2], "The message breaks the message structure (" + s.Messages[0].Broke +
                           "): a receiver that checks it shows RING only.");
    EXPECT_FALSE(s.Messages[0].Broke.empty());
}

TEST(Diagnosis, AMessageCutOffIsReadAsFarAsItGoes) {
    // the signal stops in the middle of the 21st byte
    auto signal = SynthesiseTestSignal(Signal(TCidStandard::Bell202));
    signal.resize(static_cast<std::size_t>((0.2 + 0.25 + 0.15 + 20.5 * 10 / 1200.0) * kRate));
    TLine line;
    line.Rings = NorthAmericanCadence(0.5, 2);
    line.Signals = {{3.5 - TestSignalPaddingSeconds, signal}};
    const TDiagnosis d = Heard(line, Calibrated(-10));
    ASSERT_EQ(d.Messages.size(), 1u);
    EXPECT_EQ(d.Messages[0].Broke, "the signal ends inside byte 21 of 35");
    EXPECT_EQ(d.Messages[0].Message, ExampleMdmfMessage().substr(0, 20));
    ExpectSentences(d, {"Caller ID is sent as Bell 202 FSK between the first and second ring.",
                        // as read from the bytes that came (the decoder measures no failed message)
                        "Level -29.7 dBm, within limits.",
                        "The message cannot be read to the end (the signal ends inside byte 21 of "
                        "35): a receiver shows RING only.",
                        "1 call heard; 0 of 1 message decoded."});
}

TEST(Diagnosis, DtmfWithAndWithoutARecognisedFraming) {
    TLine good;
    good.Rings = NorthAmericanCadence(2.5, 1);
    good.Signals = {At(0.5, Signal(TCidStandard::Dtmf))};
    good.Seconds = 5;
    ExpectSentences(Heard(good), {"Caller ID is sent as DTMF before the first ring.",
                                  "1 call heard; all decoded."});
    TLine loose = good;
    loose.Signals = {
        At(0.5, Signal(TCidStandard::Dtmf, [](TTestSignal& s) { s.Digits = "8005551212"; }))};
    ExpectSentences(Heard(loose), {"DTMF digits are heard (\"8005551212\"), but not in a framing "
                                   "receivers recognise (A...C, A...#, D...C or ...#): a receiver "
                                   "shows RING only.",
                                   "1 call heard."});
}

TEST(Diagnosis, DataOnTheWrongSideOfTheFirstRingOrTooCloseToIt) {
    TLine btAfter;
    btAfter.Rings = UkCadence(0.5, 2);  // 0.5-0.9, 1.1-1.5; 3.5-3.9, 4.1-4.5
    btAfter.Signals = {At(2.1, Signal(TCidStandard::Bt))};
    btAfter.Seconds = 6;
    ExpectSentences(Heard(btAfter),
                    {"Caller ID is sent as BT V.23 FSK between the first and second ring, after a "
                     "dual-tone alert (DT-AS, 100 ms).",
                     "Level -20.0 dBFS; not sure whether that is within limits, as the "
                     "recording's level in dBm is not known.",
                     "The data comes after the first ring, where BT V.23 FSK sends it before the "
                     "first ring when it alerts with DT-AS: a receiver that listens only before "
                     "ringing misses it.",
                     "1 call heard; all decoded; checksums good."});

    TLine bellBefore;
    bellBefore.Rings = NorthAmericanCadence(1.6, 2);
    bellBefore.Signals = {At(0.5, Signal(TCidStandard::Bell202))};
    ExpectSentences(Heard(bellBefore, Calibrated(-10)),
                    {"Caller ID is sent as Bell 202 FSK before the first ring.",
                     "Level -30.0 dBm, within limits.",
                     "The data comes before the first ring, where Bell 202 FSK sends it after the "
                     "first ring: a receiver that starts listening after the first ring misses it.",
                     "1 call heard; all decoded; checksums good."});

    TLine soon;
    soon.Rings = NorthAmericanCadence(0.5, 2);
    soon.Signals = {At(2.7, Signal(TCidStandard::Bell202))};
    const TDiagnosis d = Heard(soon, Calibrated(-10));
    ASSERT_EQ(d.Messages.size(), 1u);
    EXPECT_NEAR(*d.Messages[0].SinceRingEnd, 0.2, 0.02);
    char ms[16];
    std::snprintf(ms, sizeof ms, "%.0f", *d.Messages[0].SinceRingEnd * 1000);
    ExpectSentences(d, {"Caller ID is sent as Bell 202 FSK between the first and second ring.",
                        "Level -30.0 dBm, within limits.",
                        "The data starts " + std::string(ms) +
                            " ms after the first ring ends; Bell 202 FSK asks for at least 500 ms.",
                        "1 call heard; all decoded; checksums good."});
}

TEST(Diagnosis, CallWaitingDataDuringACallWithSpeechAround) {
    // the far party talking, the call-waiting alerts and data, talking again
    auto speech = SpeechLike(kRate, 3, 1.5);
    TLine line;
    line.Seconds = 5;
    line.Signals = {
        {0.0, speech},
        At(1.6, Signal(TCidStandard::Bell202,
                       [](TTestSignal& s) { s.Signalling = TSignalling::CallWaiting; })),
        {3.4, speech}};
    const TDiagnosis d = Heard(line, Calibrated(-10));
    EXPECT_TRUE(d.Rings.empty());
    ExpectSentences(
        d, {"Caller ID is sent as Bell 202 FSK during a call (off-hook, no channel "
            "seizure), after a dual-tone alert (CAS, 101 ms).",  // as measured
            "Level -30.0 dBm, within limits.", "1 call heard; all decoded; checksums good."});
    ASSERT_EQ(d.Messages.size(), 1u);
    EXPECT_EQ(d.Messages[0].SeizureBits, 0);
    EXPECT_EQ(d.Messages[0].MarkBits, 84);
}

TEST(Diagnosis, ARingPulseAlertAndDataTooCloseToTheFirstRing) {
    // a 300 ms ring burst, the data 600 ms later, the first full ring after it
    TLine rpas;
    rpas.Rings = {{0.3, 0.3}, {2.2, 2.0}};
    rpas.Signals = {At(1.2, Signal(TCidStandard::EtsiV23))};
    rpas.Seconds = 5;
    const TDiagnosis r = Heard(rpas, Calibrated(-10));
    ExpectSentences(
        r, {"Caller ID is sent as ETSI V.23 FSK before the first ring, after a short "
            "ring burst (RP-AS, 300 ms).",
            "Level -30.0 dBm, within limits.", "1 call heard; all decoded; checksums good."});
    ASSERT_EQ(r.Messages.size(), 1u);
    ASSERT_TRUE(r.Messages[0].RingAlert.has_value());
    ASSERT_TRUE(r.Messages[0].SinceRingEnd.has_value());
    EXPECT_NEAR(*r.Messages[0].SinceRingEnd, 0.6, 0.02);

    // DTMF whose last digit ends 100 ms before the first ring
    TLine close;
    close.Signals = {At(0.5, Signal(TCidStandard::Dtmf))};
    close.Seconds = 5;
    const double end = 0.5 + 12 * 0.140 - 0.070;  // 12 digits of 70 ms, 70 ms apart
    close.Rings = {{end + 0.1, 2.0}};
    const TDiagnosis d = Heard(close);
    ASSERT_EQ(d.Messages.size(), 1u);
    ASSERT_TRUE(d.Messages[0].UntilNextRing.has_value());
    EXPECT_NEAR(*d.Messages[0].UntilNextRing, 0.1, 0.02);
    char ms[16];
    std::snprintf(ms, sizeof ms, "%.0f", *d.Messages[0].UntilNextRing * 1000);
    ExpectSentences(d, {"Caller ID is sent as DTMF before the first ring.",
                        "The data ends " + std::string(ms) +
                            " ms before the next ring; the standards ask for at least 200 ms.",
                        "1 call heard; all decoded."});
}

}  // namespace
}  // namespace ringlark
