#include "diagnosis/Limits.h"

namespace ringlark {

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
