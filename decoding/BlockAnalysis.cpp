#include "decoding/BlockAnalysis.h"

#include <cmath>

#include "core/WavImage.h"
#include "decoding/Demodulator.h"
#include "decoding/fsk/FskFamily.h"
#include "protocol/MessageFormat.h"

namespace ringlark {

bool TFirstMessages::Take(TStreamEvent&& event) {
    if (event.Kind == TStreamEvent::TKind::Dtmf) {
        if (!dtmf_) {
            dtmf_ = std::move(event.Dtmf);
        }
        return true;
    }
    if (event.Kind != TStreamEvent::TKind::Message) {
        return true;
    }
    TCorrMessage& message = event.Message;
    const bool bell = message.Standard == TCidStandard::Bell202;
    auto& first = bell ? firstBell_ : firstV23_;
    if (!first) {
        first = message;
    }
    if (message.Uncertain) {
        return true;
    }
    auto& certain = bell ? certainBell_ : certainV23_;
    if (!certain) {
        certain = message;
    }
    if (keepAll_) {
        certain_[bell ? 0 : 1].push_back(std::move(message));
        return true;
    }
    return !certainBell_;
}

std::optional<TAutoResult> TFirstMessages::Result() const {
    if (certainBell_) {
        return TAutoResult{"CORR", certainBell_->Message};
    }
    if (certainV23_) {
        return TAutoResult{"V23", certainV23_->Message};
    }
    if (dtmf_) {
        return TAutoResult{"DTMF", dtmf_->Digits};
    }
    for (const auto* first : {&firstBell_, &firstV23_}) {
        if (*first && (*first)->Uncertain) {
            return TAutoResult{Bytes((*first)->Tag()), (*first)->Message, true,
                               (*first)->Alternative};
        }
    }
    return std::nullopt;
}

std::vector<TCorrMessage> TFirstMessages::Certain(const TAutoResult& result) && {
    if (result.MethodTag == "DTMF") {
        return {};
    }
    return std::move(certain_[result.MethodTag == "V23" ? 1 : 0]);
}

namespace {

constexpr std::size_t kBlock = 65536;

}  // namespace

TAutoResult AutoAnalyzeBlocks(TByteAnalyzer& analyzer, IImageSamples& samples) {
    std::vector<unsigned char> block(kBlock);
    // The mean, and the tones' family over every fourth sample (as the image's
    // analysis measures them).
    uint64_t total = 0;
    uint64_t count = 0;
    TFamilyEnergies family(44100.0 / 4);
    samples.Rewind();
    for (std::size_t n; (n = samples.Read(block.data(), block.size())) > 0;) {
        for (std::size_t k = 0; k < n; ++k) {
            total += block[k];
            if ((count + k) % 4 == 0) {
                family.Push(static_cast<double>(block[k]) - 128);
            }
        }
        count += n;
    }
    const int32_t offset =
        count == 0 ? 0
                   : static_cast<int32_t>(
                         std::nearbyint(static_cast<double>(total) / static_cast<double>(count))) -
                         128;
    analyzer.Demodulator.SignalOffset = offset;
    TBothMethodsWalk walk(offset);
    samples.Rewind();
    for (std::size_t n; (n = samples.Read(block.data(), block.size())) > 0;) {
        walk.Feed(block.data(), n);
    }
    const auto [zeroCrossing, peak] = walk.Finish();
    analyzer.Demodulator.AnalysisMethod = TAnalysisMethod::Peak;
    analyzer.QuietAnalysis = true;
    const Bytes a = analyzer.StringAnalyze(zeroCrossing);
    const Bytes b = analyzer.StringAnalyze(peak);
    const auto accepted = [](const Bytes& text) {
        return !text.empty() && IsKnownMessageType(ByteAt(text, 0));
    };
    const bool bell202 = FamilyOfRatio(family.Ratio(), 2.0) != TFskFamily::V23;
    if (accepted(a) && MessageHolds(a, TCidStandard::Bell202) && bell202) {
        return {"ZCA", a};
    }
    if (accepted(b) && MessageHolds(b, TCidStandard::Bell202) && bell202) {
        return {"PEAK", b};
    }
    TStreamParts parts;
    parts.AlertTones = false;
    parts.V23 = parts.Dtmf = analyzer.OtherStandards;
    TStreamDecoder decoder(44100, true, false, parts);
    decoder.SearchEvery(2048);
    TFirstMessages first;
    std::vector<TStreamEvent> events;
    bool more = true;
    const auto take = [&] {
        for (auto& event : events) {
            more = more && first.Take(std::move(event));
        }
        events.clear();
    };
    samples.Rewind();
    for (std::size_t n; more && (n = samples.Read(block.data(), block.size())) > 0;) {
        decoder.Feed(std::span<const uint8_t>(block.data(), n), events);
        take();
    }
    if (more) {
        decoder.Finish(events);
        take();
    }
    if (const auto result = first.Result()) {
        return *result;
    }
    if (accepted(a) && bell202) {
        return {"ZCA", a};
    }
    if (accepted(b) && bell202) {
        return {"PEAK", b};
    }
    return {"FAIL: " + a, b};
}

}  // namespace ringlark
