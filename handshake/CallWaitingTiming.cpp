#include "handshake/CallWaitingTiming.h"

#include <cmath>
#include <cstdio>

#include "core/RinglarkError.h"
#include "core/UserMessages.h"

namespace ringlark {

std::optional<TCallWaitingTiming> CallWaitingTimingFor(TCidStandard standard) {
    TCallWaitingTiming timing;
    timing.Standard = standard;
    switch (standard) {
        case TCidStandard::Bell202:
            return timing;
        case TCidStandard::EtsiV23:
            // DT-AS without a beep; the TE-ACK window as the Bellcore one, the
            // data 55 ms after it as a network driver sends it, and a mark
            // run of 80 +- 25 bits.
            timing.SasMs = 0;
            timing.DataDelayMs = 55;
            timing.MarkMinMs = 55 * 1000.0 / 1200;
            timing.MarkMaxMs = 105 * 1000.0 / 1200;
            return timing;
        case TCidStandard::Bt:
            timing.SasMs = 0;
            timing.CasMs = 82.5;
            timing.CasMinMs = 80;
            timing.CasMaxMs = 85;
            timing.CasTolerance = 0.006;
            timing.AckMs = 70;
            timing.AckMinMs = 65;
            timing.AckMaxMs = 75;
            timing.DataDelayMs = 50;
            timing.DataMinMs = 5;
            timing.DataMaxMs = 100;
            timing.MarkMinMs = 45;
            timing.MarkMaxMs = 75;
            return timing;
        case TCidStandard::Dtmf:
            break;
    }
    return std::nullopt;
}

namespace {

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

void Within(const char* what, double value, double min, double max, const char* unit) {
    if (!std::isfinite(value) || value < min || value > max) {
        throw RinglarkError(
            msg::SettingOutOfRange(what, Number(value), Number(min), Number(max), unit));
    }
}

void Ordered(const char* minName, double min, const char* maxName, double max) {
    if (min > max) {
        throw RinglarkError(msg::MinimumAboveMaximum(minName, Number(min), maxName, Number(max)));
    }
}

}  // namespace

void CheckCallWaitingTiming(const TCallWaitingTiming& t) {
    constexpr double kLongestMs = 10000;
    Within("SAS length", t.SasMs, 0, kLongestMs, "ms");
    Within("SAS to CAS gap", t.SasToCasMs, 0, kLongestMs, "ms");
    Within("CAS length", t.CasMs, 1, kLongestMs, "ms");
    Within("data delay", t.DataDelayMs, 0, kLongestMs, "ms");
    Within("mark bits", t.MarkBits, 0, 1000, "bits");
    Within("tone level", t.ToneDbfs, -90, 0, "dBFS");
    Within("FSK level", t.FskDbfs, -90, 0, "dBFS");
    Within("ACK delay", t.AckDelayMs, 0, kLongestMs, "ms");
    Within("ACK length", t.AckMs, 1, kLongestMs, "ms");
    Within("ACK level", t.AckDbfs, -90, -6, "dBFS");
    Within("ACK window", t.AckWindowMs, 0, kLongestMs, "ms");
    Within("CAS tolerance", t.CasTolerance * 100, 0, 10, "%");
    Ordered("shortest CAS", t.CasMinMs, "longest CAS", t.CasMaxMs);
    Ordered("shortest ACK", t.AckMinMs, "longest ACK", t.AckMaxMs);
    Ordered("earliest data", t.DataMinMs, "latest data", t.DataMaxMs);
    Ordered("shortest mark run", t.MarkMinMs, "longest mark run", t.MarkMaxMs);
    if (t.AckDigit < 'A' || t.AckDigit > 'D') {
        throw RinglarkError(msg::NotAnAckDigit(std::string(1, t.AckDigit)));
    }
}

int64_t MsToSamples(double ms, double rate) {
    return static_cast<int64_t>(std::llround(ms * rate / 1000.0));
}

double SamplesToMs(double samples, double rate) {
    return samples * 1000.0 / rate;
}

}  // namespace ringlark
