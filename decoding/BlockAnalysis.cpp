#include "decoding/BlockAnalysis.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <optional>
#include <thread>

#include "core/WavImage.h"
#include "decoding/Demodulator.h"
#include "decoding/fsk/FskFamily.h"

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

std::size_t TImageBytes::Read(unsigned char* to, std::size_t count) {
    const std::size_t n = std::min(count, image_.size() - std::min(at_, image_.size()));
    std::memcpy(to, image_.data() + at_, n);
    at_ += n;
    return n;
}

namespace {

constexpr std::size_t kBlock = 65536;

}  // namespace

namespace {

// Feeds the samples to a stream decoder looking for the parts asked for, each
// event to `first`, until the end, a certain Bell 202 message or `stop`.
// Returns whether a certain Bell 202 message came.
bool DecodeInto(IImageSamples& samples, TStreamParts parts, TFirstMessages& first,
                const std::atomic<bool>& stop) {
    std::vector<unsigned char> block(kBlock);
    TStreamDecoder decoder(44100, true, false, parts);
    decoder.SearchEvery(2048);
    std::vector<TStreamEvent> events;
    bool more = true;
    const auto take = [&] {
        for (auto& event : events) {
            more = more && first.Take(std::move(event));
        }
        events.clear();
    };
    samples.Rewind();
    for (std::size_t n; more && !stop && (n = samples.Read(block.data(), block.size())) > 0;) {
        decoder.Feed(std::span<const uint8_t>(block.data(), n), events);
        take();
    }
    if (more && !stop) {
        decoder.Finish(events);
        take();
    }
    return !more;
}

}  // namespace

TAutoResult AutoAnalyzeBlocks(TByteAnalyzer& analyzer, IImageSamples& samples,
                              IImageSamples* alongside) {
    // Method 3 for Bell 202 is wanted only when methods 1 and 2 read nothing
    // that holds, which is known only at the end of their walk: with a second
    // reader of the same samples it runs alongside them, and is stopped if
    // they succeed.
    TFirstMessages first;
    std::atomic<bool> stop = false;
    std::optional<bool> bellFound;
    std::exception_ptr bellFailure;
    std::thread bell;
    if (alongside != nullptr) {
        bell = std::thread([&] {
            try {
                bellFound = DecodeInto(*alongside, {true, false, false, false}, first, stop);
            } catch (...) {
                bellFailure = std::current_exception();
            }
        });
    }
    struct TJoin {
        std::thread& thread;
        std::atomic<bool>& stop;
        ~TJoin() {
            if (thread.joinable()) {
                stop = true;
                thread.join();
            }
        }
    } join{bell, stop};
    std::vector<unsigned char> block(kBlock);
    uint64_t total = 0;
    uint64_t count = 0;
    samples.Rewind();
    for (std::size_t n; (n = samples.Read(block.data(), block.size())) > 0;) {
        for (std::size_t k = 0; k < n; ++k) {
            total += block[k];
        }
        count += n;
    }
    const int32_t offset = OffsetOfMean(total, count);
    analyzer.Demodulator.SignalOffset = offset;
    TBothMethodsWalk walk(offset);
    samples.Rewind();
    for (std::size_t n; (n = samples.Read(block.data(), block.size())) > 0;) {
        walk.Feed(block.data(), n);
    }
    const auto [zeroCrossing, peak] = walk.Finish();
    // over every fourth sample, as the image's analysis measures them
    const auto bell202Tones = [&] {
        TFamilyEnergies family(44100.0 / 4);
        uint64_t at = 0;
        samples.Rewind();
        for (std::size_t n; (n = samples.Read(block.data(), block.size())) > 0; at += n) {
            for (std::size_t k = (4 - at % 4) % 4; k < n; k += 4) {
                family.Push(static_cast<double>(block[k]) - 128);
            }
        }
        return FamilyOfRatio(family.Ratio(), 2.0) != TFskFamily::V23;
    };
    // Bell 202 first, to its first certain message; the other standards only
    // when it has none, as the image's analysis runs them.
    const auto method3 = [&] {
        if (bell.joinable()) {
            bell.join();
            if (bellFailure) {
                std::rethrow_exception(bellFailure);
            }
        } else {
            bellFound = DecodeInto(samples, {true, false, false, false}, first, stop);
        }
        if (!*bellFound && analyzer.OtherStandards) {
            DecodeInto(samples, {false, true, false, true}, first, stop);
        }
        return first.Result();
    };
    return analyzer.ChooseResult(zeroCrossing, peak, bell202Tones, method3);
}

}  // namespace ringlark
