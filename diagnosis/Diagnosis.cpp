#include "diagnosis/Diagnosis.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "core/Cp1252.h"
#include "core/RinglarkError.h"
#include "decoding/StreamDecoder.h"
#include "decoding/tones/DtmfDecoder.h"
#include "decoding/tones/ToneDiscriminator.h"
#include "diagnosis/FskReading.h"
#include "diagnosis/Limits.h"
#include "inspection/Inspector.h"
#include "protocol/DtmfCallerId.h"

namespace ringlark {

namespace {

// Rings closer than this are one ring of a cadence (the UK's double ring).
constexpr double kCadenceGap = 0.8;
// Rings further apart than this belong to different calls.
constexpr double kCallGap = 7.0;
// A ring burst shorter than this before the data and the first full ring is
// a ring-pulse alert (RP-AS).
constexpr double kRingAlertSeconds = 0.6;
// DTMF digits further apart than this are not one message.
constexpr double kDigitGap = 2.0;

struct TRing {  // one ring of a cadence: one burst or a close group
    double Start = 0, End = 0;
    std::size_t FirstBurst = 0, Bursts = 0;
    int Call = 0, InCall = 0;  // the call, and its place among the call's rings
};

std::vector<TRing> GroupRings(const std::vector<TRingBurst>& bursts, int& calls) {
    std::vector<TRing> rings;
    for (std::size_t i = 0; i < bursts.size(); ++i) {
        if (!rings.empty() && bursts[i].Seconds - rings.back().End < kCadenceGap) {
            rings.back().End = bursts[i].End();
            ++rings.back().Bursts;
            continue;
        }
        TRing ring{bursts[i].Seconds, bursts[i].End(), i, 1, 0, 0};
        if (rings.empty() || ring.Start - rings.back().End > kCallGap) {
            ring.Call = calls++;
            ring.InCall = 0;
        } else {
            ring.Call = rings.back().Call;
            ring.InCall = rings.back().InCall + 1;
        }
        rings.push_back(ring);
    }
    return rings;
}

std::string FieldsOf(const Bytes& message, TCidStandard standard) {
    std::string fields;
    for (const auto& note : InspectorFields(BuildInspector(message, standard))) {
        fields += (fields.empty() ? "" : "; ") + ShownText(note);
    }
    return fields;
}

bool SameFamily(TCidStandard a, TCidStandard b) {
    const auto family = [](TCidStandard s) {
        return s == TCidStandard::Bt ? TCidStandard::EtsiV23 : s;
    };
    return family(a) == family(b);
}

// The DTMF digits of a recording, as the decoder's first stage and detector
// find them.
std::vector<TDtmfDigit> DtmfDigits(std::span<const float> samples, double rate) {
    const TWorkingRate working = WorkingRateFor(rate, kBell202Tones);
    TTriangularDecimator decimator(working.Factor);
    THighPass highPass(working.Rate, kWorkingHighPassHz);
    TDtmfDetector detector(working.Rate);
    std::vector<TDtmfDigit> digits;
    for (float x : samples) {
        float decimated = 0;
        if (decimator.Push(x, decimated)) {
            detector.Push(highPass.Push(decimated), digits);
        }
    }
    detector.Finish(digits);
    return digits;
}

void AddDtmf(std::span<const float> samples, double rate, TDiagnosis& d) {
    const auto digits = DtmfDigits(samples, rate);
    for (std::size_t i = 0; i < digits.size();) {
        std::size_t j = i + 1;
        while (j < digits.size() &&
               digits[j].Seconds - (digits[j - 1].Seconds + digits[j - 1].Duration) < kDigitGap) {
            ++j;
        }
        TDtmfAssembler assembler;
        std::vector<TDtmfMessage> found;
        std::string all;
        for (std::size_t k = i; k < j; ++k) {
            const std::size_t before = found.size();
            assembler.Add(digits[k], found);
            all += digits[k].Digit;
            if (found.size() > before) {
                // the digit that completed the message is its last
                TLineMessage m;
                m.Standard = TCidStandard::Dtmf;
                m.BurstSeconds = m.Seconds = found.back().Seconds;
                m.EndSeconds = digits[k].Seconds + digits[k].Duration;
                m.Digits = found.back().Digits;
                m.Decoded = true;
                m.Fields = DtmfFieldsText(m.Digits);
                d.Messages.push_back(m);
            }
        }
        if (found.empty() && j - i >= 3) {
            d.LooseDigits.push_back({digits[i].Seconds, all});
        }
        i = j;
    }
}

void AddFsk(std::span<const float> samples, double rate, const std::vector<TCorrMessage>& decoded,
            TDiagnosis& d) {
    std::vector<TFskReading> readings = ReadFskBursts(samples, rate);
    std::vector<bool> used(readings.size(), false);
    for (const auto& cm : decoded) {
        const bool bell = cm.Standard == TCidStandard::Bell202;
        const TFskTones tones = bell ? kBell202Tones : TFskTones{V23MarkHz, V23SpaceHz, 1200.0};
        const TFskMeasures measures = MeasureFsk(samples, rate, cm, tones);
        TLineMessage m;
        m.Limits = OwnLimits(cm, measures);
        m.Standard = bell               ? TCidStandard::Bell202
                     : m.Limits == "bt" ? TCidStandard::Bt
                                        : TCidStandard::EtsiV23;
        m.Rows = CheckLimits(measures, m.Limits, d.Options.DbmAtFullScale);
        m.Seconds = cm.Seconds;
        m.SeizureBits = measures.SeizureBits;
        m.MarkBits = measures.MarkBits;
        m.BurstSeconds = cm.Seconds - (measures.SeizureBits + measures.MarkBits) / 1200.0;
        m.EndSeconds = measures.Seconds + measures.DurationSeconds;
        m.Decoded = true;
        m.Message = cm.Message;
        m.Frames.assign(cm.Frames.begin(), cm.Frames.end());
        m.Fields = FieldsOf(cm.Message, cm.Standard);
        m.MarkDbfs = measures.MarkDbfs;
        m.SpaceDbfs = measures.SpaceDbfs;
        m.TwistDb = measures.TwistDb;
        m.SnrDb = measures.SnrDb;
        for (std::size_t r = 0; r < readings.size(); ++r) {
            if (!used[r] && std::fabs(readings[r].Seconds - cm.Seconds) < 0.03 &&
                SameFamily(readings[r].Standard, cm.Standard)) {
                used[r] = true;
                m.BurstSeconds = readings[r].BurstSeconds;
                // the quieter side of the burst: rings may sound on the other
                if (readings[r].SnrDb) {
                    m.SnrDb = readings[r].SnrDb;
                }
                break;
            }
        }
        d.Messages.push_back(m);
    }
    for (std::size_t r = 0; r < readings.size(); ++r) {
        if (used[r]) {
            continue;
        }
        const TFskReading& reading = readings[r];
        TLineMessage m;
        const bool bell = reading.Standard == TCidStandard::Bell202;
        const bool bt =
            !bell && reading.SeizureBits > 0 && reading.MarkBits > 0 && reading.MarkBits < 122;
        m.Standard = bell ? TCidStandard::Bell202 : bt ? TCidStandard::Bt : TCidStandard::EtsiV23;
        m.Limits = bell ? "bell" : bt ? "bt" : "etsi";
        m.BurstSeconds = reading.BurstSeconds;
        m.Seconds = reading.Seconds;
        m.EndSeconds = reading.EndSeconds;
        m.Message = reading.Message;
        m.Frames = reading.Frames;
        m.Broke = reading.Broke;
        m.Decoded = reading.Broke.empty() && reading.ChecksumGood && reading.StructureGood;
        if (m.Decoded) {
            m.Fields = FieldsOf(reading.Message, reading.Standard);
        }
        m.ChecksumFailed =
            reading.Complete && !reading.ChecksumGood && reading.Broke.rfind("checksum", 0) == 0;
        m.MarkDbfs = reading.MarkDbfs;
        m.SpaceDbfs = reading.SpaceDbfs;
        m.TwistDb = reading.TwistDb;
        m.SnrDb = reading.SnrDb;
        m.SeizureBits = reading.SeizureBits;
        m.MarkBits = reading.MarkBits;
        d.Messages.push_back(m);
    }
}

void Place(TDiagnosis& d, const std::vector<TRing>& rings) {
    int calls = d.Calls;
    double lastRinglessEnd = -1e9;
    int ringlessCall = -1;
    for (auto& m : d.Messages) {
        const TRing* before = nullptr;
        const TRing* after = nullptr;
        for (const auto& ring : rings) {
            if (ring.End <= m.BurstSeconds + 0.05 && m.BurstSeconds - ring.End <= kCallGap) {
                before = &ring;
            }
            if (after == nullptr && ring.Start >= m.EndSeconds - 0.05 &&
                ring.Start - m.EndSeconds <= kCallGap) {
                after = &ring;
            }
        }
        if (before != nullptr && after != nullptr && before->Call != after->Call) {
            // between two calls: it belongs to the nearer
            if (after->Start - m.EndSeconds < m.BurstSeconds - before->End) {
                before = nullptr;
            } else {
                after = nullptr;
            }
        }
        if (before != nullptr && after != nullptr && before->InCall == 0 && before->Bursts == 1 &&
            before->End - before->Start < kRingAlertSeconds && after->Call == before->Call) {
            // a short burst before the data and a full ring after it: the
            // ring-pulse alert, not the call's first ring
            m.RingAlert = d.Rings[before->FirstBurst];
            m.SinceRingEnd = m.BurstSeconds - before->End;
            before = nullptr;
        }
        if (before != nullptr) {
            m.SinceRingEnd = m.BurstSeconds - before->End;
        }
        if (after != nullptr) {
            m.UntilNextRing = after->Start - m.EndSeconds;
        }
        if (before == nullptr && after != nullptr) {
            m.Placement = TPlacement::BeforeFirstRing;
            m.Call = after->Call;
        } else if (before != nullptr) {
            m.Call = before->Call;
            // the first ring of the call: the ring alert does not count
            int place = before->InCall;
            if (place > 0) {
                const TRing& first = *std::find_if(rings.begin(), rings.end(), [&](const TRing& r) {
                    return r.Call == before->Call;
                });
                if (first.Bursts == 1 && first.End - first.Start < kRingAlertSeconds) {
                    --place;
                }
            }
            m.FirstRingOfCallBefore = place == 0;
            m.Placement = place > 0 ? TPlacement::AfterSecondRing
                          : after != nullptr && after->Call == before->Call
                              ? TPlacement::BetweenFirstAndSecondRing
                              : TPlacement::AfterFirstRing;
        } else {
            m.Placement = m.Standard != TCidStandard::Dtmf && m.SeizureBits == 0
                              ? TPlacement::OffHook
                              : TPlacement::NoRinging;
            if (m.BurstSeconds - lastRinglessEnd > 10 || ringlessCall < 0) {
                ringlessCall = calls++;
            }
            m.Call = ringlessCall;
            lastRinglessEnd = m.EndSeconds;
        }
    }
    d.Calls = calls;
}

void AttachAlerts(TDiagnosis& d) {
    for (auto& m : d.Messages) {
        for (const auto& tone : d.Alerts) {
            const double end = tone.Seconds + tone.Duration;
            if (tone.Kind == TAlertTone::TKind::DualTone && end <= m.BurstSeconds + 0.02 &&
                m.BurstSeconds - end <= 1.0) {
                m.Alert = tone;
                m.AlertGapSeconds = std::max(0.0, m.BurstSeconds - end);
            }
        }
    }
}

// Where a reading broke off before its checksum could be judged: the signal
// ended, or a character lost its stop bit.
bool Unreadable(const std::string& broke) {
    return broke.rfind("the signal ends", 0) == 0 ||
           broke.find("has no stop bit") != std::string::npos;
}

void Find(TDiagnosis& d) {
    auto& f = d.Findings;
    if (d.Messages.empty() && d.LooseDigits.empty()) {
        TFinding finding;
        finding.Kind = d.Rings.empty() ? TFindingKind::NothingAtAll : TFindingKind::NoSignal;
        finding.Count = d.RingCount;
        f.push_back(finding);
        return;
    }
    const TCidStandard main = d.MainStandard();
    if (d.Options.Expected && !d.Messages.empty() && !SameFamily(*d.Options.Expected, main)) {
        TFinding finding;
        finding.Kind = TFindingKind::OtherStandard;
        finding.Detail = StandardPhrase(*d.Options.Expected);
        f.push_back(finding);
    }
    const auto once = [&](TFinding finding, bool worse(const TFinding&, const TFinding&)) {
        for (auto& existing : f) {
            if (existing.Kind == finding.Kind) {
                if (worse(finding, existing)) {
                    existing = finding;
                }
                return;
            }
        }
        f.push_back(finding);
    };
    const auto lower = [](const TFinding& a, const TFinding& b) { return a.Value < b.Value; };
    const auto higher = [](const TFinding& a, const TFinding& b) { return a.Value > b.Value; };
    const auto further = [](const TFinding& a, const TFinding& b) {
        return std::fabs(a.Value) > std::fabs(b.Value);
    };
    int fsk = 0, checksum = 0, structure = 0, unreadable = 0;
    std::string firstBroke, firstCut;
    for (std::size_t i = 0; i < d.Messages.size(); ++i) {
        const TLineMessage& m = d.Messages[i];
        const int index = static_cast<int>(i);
        const TReceiverLimits limits = ReceiverLimits(m.Standard, m.SeizureBits == 0);
        if (m.Standard != TCidStandard::Dtmf) {
            ++fsk;
            if (m.ChecksumFailed) {
                ++checksum;
            } else if (!m.Decoded && Unreadable(m.Broke)) {
                ++unreadable;
                if (firstCut.empty()) {
                    firstCut = m.Broke;
                }
            } else if (!m.Decoded) {
                ++structure;
                if (firstBroke.empty()) {
                    firstBroke = m.Broke;
                }
            }
            if (d.Options.DbmAtFullScale && m.Message.size() >= 1) {
                const double weaker = std::min(m.MarkDbfs, m.SpaceDbfs) + *d.Options.DbmAtFullScale;
                const double stronger =
                    std::max(m.MarkDbfs, m.SpaceDbfs) + *d.Options.DbmAtFullScale;
                if (std::round(weaker * 10) / 10 < limits.MinDbm) {
                    once({TFindingKind::TooWeak, index, weaker, limits.MinDbm, limits.MaxDbm, 0, 0,
                          ""},
                         lower);
                } else if (std::round(stronger * 10) / 10 > limits.MaxDbm) {
                    once({TFindingKind::TooStrong, index, stronger, limits.MinDbm, limits.MaxDbm, 0,
                          0, ""},
                         higher);
                }
            }
            if (m.SpaceDbfs > -119) {
                const double twist = std::round(m.TwistDb * 10) / 10;
                if (twist < limits.MinTwist || twist > limits.MaxTwist) {
                    once({TFindingKind::Twist, index, m.TwistDb, limits.MinTwist, limits.MaxTwist,
                          0, 0, ""},
                         further);
                }
            }
            if (m.SnrDb && std::round(*m.SnrDb * 10) / 10 < limits.MinSnrDb) {
                once({TFindingKind::Noise, index, *m.SnrDb, limits.MinSnrDb, 0, 0, 0, ""}, lower);
            }
            if (m.Alert && m.Standard != TCidStandard::Bell202) {
                const double ms = m.AlertGapSeconds * 1000;
                if (ms < 45 || ms > 500) {
                    once({TFindingKind::AlertGap, index, ms, 45, 500, 0, 0, ""}, further);
                }
            }
            if (m.MarkBits > 0 && m.MarkBits < limits.MinMarkBits(m.SeizureBits > 0)) {
                once({TFindingKind::ShortMarkRun, index, static_cast<double>(m.MarkBits),
                      static_cast<double>(limits.MinMarkBits(m.SeizureBits > 0)),
                      static_cast<double>(limits.MaxMarkBits(m.SeizureBits > 0)), 0, 0, ""},
                     lower);
            }
        }
        const bool afterRing = m.Placement == TPlacement::BetweenFirstAndSecondRing ||
                               m.Placement == TPlacement::AfterFirstRing ||
                               m.Placement == TPlacement::AfterSecondRing;
        const bool onHook = m.Standard == TCidStandard::Dtmf || m.SeizureBits > 0;
        if (m.Standard == TCidStandard::Bell202 && onHook &&
            m.Placement == TPlacement::BeforeFirstRing) {
            once({TFindingKind::BeforeFirstRing, index, 0, 0, 0, 0, 0, ""}, lower);
        }
        if (afterRing &&
            (m.Standard == TCidStandard::Bt || (m.Standard == TCidStandard::EtsiV23 && m.Alert))) {
            once({TFindingKind::AfterFirstRing, index, 0, 0, 0, 0, 0, m.Alert ? "dtas" : ""},
                 lower);
        }
        if (m.SinceRingEnd && afterRing && m.FirstRingOfCallBefore && onHook &&
            m.Standard != TCidStandard::Dtmf && m.Standard != TCidStandard::Bt) {
            const double ms = *m.SinceRingEnd * 1000;
            const double high = m.Standard == TCidStandard::EtsiV23 ? 2000 : 0;
            if (std::round(ms) < 500 || (high > 0 && std::round(ms) > high)) {
                once({TFindingKind::RingGap, index, ms, 500, high, 0, 0, "after"}, lower);
            }
        }
        if (m.UntilNextRing && onHook && std::round(*m.UntilNextRing * 1000) < 200) {
            once({TFindingKind::RingGap, index, *m.UntilNextRing * 1000, 200, 0, 0, 0, "before"},
                 lower);
        }
    }
    if (checksum > 0) {
        f.push_back({TFindingKind::Checksum, -1, 0, 0, 0, checksum, fsk, ""});
    }
    if (structure > 0) {
        f.push_back({TFindingKind::Structure, -1, 0, 0, 0, structure, fsk, firstBroke});
    }
    if (unreadable > 0) {
        f.push_back({TFindingKind::Unreadable, -1, 0, 0, 0, unreadable, fsk, firstCut});
    }
    if (!d.LooseDigits.empty()) {
        f.push_back({TFindingKind::DtmfFraming, -1, 0, 0, 0, static_cast<int>(d.LooseDigits.size()),
                     0, d.LooseDigits.front().Digits});
    }
}

}  // namespace

TCidStandard TDiagnosis::MainStandard() const {
    std::map<TCidStandard, int> counts;
    for (const auto& m : Messages) {
        ++counts[m.Standard];
    }
    TCidStandard best = TCidStandard::Bell202;
    int most = 0;
    for (const auto& [standard, count] : counts) {
        if (count > most) {
            best = standard;
            most = count;
        }
    }
    return best;
}

bool TDiagnosis::Has(TFindingKind kind) const {
    return std::any_of(Findings.begin(), Findings.end(),
                       [&](const TFinding& f) { return f.Kind == kind; });
}

TDiagnosis Diagnose(std::span<const float> samples, double rate, const TDiagnoseOptions& options) {
    TDiagnosis d;
    d.Rate = rate;
    d.Options = options;
    d.Seconds = static_cast<double>(samples.size()) / rate;
    TStreamDecoder decoder(rate);  // throws for a rate out of range
    std::vector<TStreamEvent> events;
    constexpr std::size_t kBlock = 4096;
    for (std::size_t i = 0; i < samples.size(); i += kBlock) {
        decoder.Feed(samples.subspan(i, std::min(kBlock, samples.size() - i)), events);
    }
    decoder.Finish(events);
    std::vector<TCorrMessage> decoded;
    for (const auto& e : events) {
        if (e.Kind == TStreamEvent::TKind::Message) {
            decoded.push_back(e.Message);
        } else if (e.Kind == TStreamEvent::TKind::DualTone ||
                   e.Kind == TStreamEvent::TKind::Subscriber) {
            d.Alerts.push_back(e.Tone);
        }
    }
    d.Rings = DetectRings(samples, rate);
    AddFsk(samples, rate, decoded, d);
    AddDtmf(samples, rate, d);
    std::stable_sort(d.Messages.begin(), d.Messages.end(),
                     [](const TLineMessage& a, const TLineMessage& b) {
                         return a.BurstSeconds < b.BurstSeconds;
                     });
    AttachAlerts(d);
    int calls = 0;
    const std::vector<TRing> rings = GroupRings(d.Rings, calls);
    d.Calls = calls;
    d.RingCount = static_cast<int>(rings.size());
    Place(d, rings);
    Find(d);
    return d;
}

}  // namespace ringlark
