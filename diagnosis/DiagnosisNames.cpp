// The names a diagnosis' values go by in the report, the advice keys and the
// JSON, and the receivers' limits behind the findings.
#include "diagnosis/Diagnosis.h"
#include "diagnosis/Limits.h"

namespace ringlark {

std::string PlacementText(TPlacement placement) {
    switch (placement) {
        case TPlacement::BeforeFirstRing:
            return "before the first ring";
        case TPlacement::BetweenFirstAndSecondRing:
            return "between the first and second ring";
        case TPlacement::AfterFirstRing:
            return "after the first ring";
        case TPlacement::AfterSecondRing:
            return "after the second ring";
        case TPlacement::NoRinging:
            return "with no ringing heard";
        case TPlacement::OffHook:
            return "during a call (off-hook, no channel seizure)";
    }
    return "";
}

std::string PlacementKey(TPlacement placement) {
    switch (placement) {
        case TPlacement::BeforeFirstRing:
            return "before";
        case TPlacement::BetweenFirstAndSecondRing:
            return "between";
        case TPlacement::AfterFirstRing:
            return "after";
        case TPlacement::AfterSecondRing:
            return "later";
        case TPlacement::NoRinging:
            return "none";
        case TPlacement::OffHook:
            return "offhook";
    }
    return "";
}

std::string FindingKey(TFindingKind kind) {
    switch (kind) {
        case TFindingKind::NoSignal:
            return "no-signal";
        case TFindingKind::NothingAtAll:
            return "nothing";
        case TFindingKind::OtherStandard:
            return "other-standard";
        case TFindingKind::TooWeak:
            return "weak";
        case TFindingKind::TooStrong:
            return "strong";
        case TFindingKind::Twist:
            return "twist";
        case TFindingKind::Noise:
            return "noise";
        case TFindingKind::AlertGap:
            return "alert-gap";
        case TFindingKind::ShortMarkRun:
            return "short-mark";
        case TFindingKind::RingGap:
            return "ring-gap";
        case TFindingKind::Checksum:
            return "checksum";
        case TFindingKind::Structure:
            return "structure";
        case TFindingKind::Unreadable:
            return "unreadable";
        case TFindingKind::DtmfFraming:
            return "dtmf-framing";
        case TFindingKind::AfterFirstRing:
            return "after-first-ring";
        case TFindingKind::BeforeFirstRing:
            return "before-first-ring";
    }
    return "";
}

std::string StandardPhrase(TCidStandard standard) {
    switch (standard) {
        case TCidStandard::Bell202:
            return "Bell 202 FSK";
        case TCidStandard::EtsiV23:
            return "ETSI V.23 FSK";
        case TCidStandard::Bt:
            return "BT V.23 FSK";
        case TCidStandard::Dtmf:
            return "DTMF";
    }
    return "";
}

TReceiverLimits ReceiverLimits(TCidStandard standard, bool offHook) {
    TReceiverLimits l;
    switch (standard) {
        case TCidStandard::Bell202:
        case TCidStandard::Dtmf:
            // TIA-716 (MT88E45B datasheet): on-hook -4.23 to -36.20 dBm,
            // off-hook 190 to 12 mVrms
            l.MinDbm = -36.2;
            l.MaxDbm = offHook ? -12.2 : -4.2;
            l.LevelSource =
                offHook ? "TIA-716 off-hook: 12-190 mVrms" : "TIA-716: -36.2 to -4.2 dBm";
            l.MinTwist = -6;
            l.MaxTwist = 10;
            l.TwistSource = "TIA-777 receiver: -6 to +10 dB";
            l.MinSnrDb = 25;
            l.SnrSource = "GR-30 (older wording): unwanted signals 25 dB down";
            break;
        case TCidStandard::EtsiV23:
            // -36 to -8 dBV on-hook, -33 to -11 dBV off-hook (dBm = dBV + 2.22)
            l.MinDbm = offHook ? -30.8 : -33.8;
            l.MaxDbm = offHook ? -8.8 : -5.8;
            l.LevelSource =
                offHook ? "ETS 300 778-2: -33 to -11 dBV" : "ETS 300 778-1: -36 to -8 dBV";
            l.MinTwist = -6;
            l.MaxTwist = 6;
            l.TwistSource = "ETS 300 778: +-6 dB";
            l.MinSnrDb = 25;
            l.SnrSource = "ETS 300 778: 25 dB";
            break;
        case TCidStandard::Bt:
            l.MinDbm = -37.8;
            l.MaxDbm = -5.8;
            l.LevelSource = "SIN 242: -40 to -8 dBV";
            l.MinTwist = -6;
            l.MaxTwist = 6;
            l.TwistSource = "SIN 242: up to 6 dB";
            l.MinSnrDb = 20;
            l.SnrSource = "SIN 242: 20 dB";
            l.Bt = true;
            break;
    }
    return l;
}

}  // namespace ringlark
