#include "cli/batch/RecordingScan.h"

#include <sndfile.h>
#include <sys/stat.h>

#include <cstdio>
#include <iostream>
#include <optional>
#include <vector>

#include "analyst/ImageFile.h"
#include "analyst/WavLoader.h"
#include "cli/batch/AnyFormat.h"
#include "cli/batch/EventFormat.h"
#include "cli/batch/ProgressBar.h"
#include "cli/batch/SoundFileOpen.h"
#include "core/SampleValues.h"
#include "core/WavImage.h"
#include "decoding/BlockAnalysis.h"

namespace ringlark::cli {

namespace {

constexpr std::size_t kBlockFrames = 16384;
// A file is searched every this many working samples (about 0.2 s): the same
// messages as searching every few milliseconds, with less work.
constexpr std::size_t kSearchEvery = 2048;

}  // namespace

TScanned ScanRecording(const std::string& path, const TScanSettings& settings,
                       const std::function<bool(TStreamEvent&&)>& found,
                       const std::function<void(const TScanProgress&)>& progress) {
    const TOpenSound opened(path, TSoundOpening::Scan);
    auto* file = static_cast<SNDFILE*>(opened.Handle());
    TStreamDecoder decoder(opened.Rate(), settings.IncludeUncertain, settings.IncludeFailed,
                           settings.Parts);
    decoder.SearchEvery(kSearchEvery);
    const std::size_t channels = opened.Channels();
    std::vector<float> frames(kBlockFrames * channels);
    std::vector<float> mono(kBlockFrames);
    std::vector<TStreamEvent> events;
    TScanned scanned;
    scanned.Rate = opened.Rate();
    bool more = true;
    const auto hand = [&] {
        for (auto& event : events) {
            more = more && found(std::move(event));
        }
        events.clear();
        return more;
    };
    for (sf_count_t got; (got = sf_readf_float(file, frames.data(), kBlockFrames)) > 0;) {
        const auto n = static_cast<std::size_t>(got);
        for (std::size_t f = 0; f < n; ++f) {
            float sum = 0;
            for (std::size_t c = 0; c < channels; ++c) {
                sum += SaneSample(frames[f * channels + c]);
            }
            mono[f] = sum / static_cast<float>(channels);
        }
        decoder.Feed(std::span<const float>(mono.data(), n), events);
        scanned.Frames += n;
        if (!hand()) {
            return scanned;
        }
        if (progress) {
            progress({scanned.Frames, opened.Frames(), scanned.Rate});
        }
    }
    decoder.Finish(events);
    hand();
    return scanned;
}

TStreamParts PartsFor(const std::string& standard) {
    TStreamParts parts;
    parts.Bell202 = Wants(standard, TCidStandard::Bell202);
    parts.V23 = Wants(standard, TCidStandard::EtsiV23);
    parts.Dtmf = Wants(standard, TCidStandard::Dtmf);
    parts.AlertTones = false;
    return parts;
}

TAutoResult ScanFirstMessage(const std::string& path, const std::string& standard,
                             std::vector<TCorrMessage>* messages) {
    TFirstMessages first(messages != nullptr);
    TScanSettings settings;
    settings.Parts = PartsFor(standard);
    ScanRecording(path, settings,
                  [&first](TStreamEvent&& event) { return first.Take(std::move(event)); });
    const TAutoResult result = first.Result().value_or(TAutoResult{"FAIL: ", ""});
    if (messages != nullptr) {
        *messages = std::move(first).Certain(result);
    }
    return result;
}

std::optional<TAutoResult> AnalyzeImageFile(const std::string& path, bool otherStandards,
                                            bool onlyCheck) {
    struct stat info {};
    if (path == "-" || stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    std::string head(WavHeaderSize, '\0');
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        head.resize(std::fread(head.data(), 1, head.size(), f));
        std::fclose(f);
    }
    if (LoadRefusal(head, static_cast<uint64_t>(info.st_size))) {
        return std::nullopt;  // the loader says why
    }
    if (onlyCheck) {
        return TAutoResult{"FAIL: ", ""};
    }
    TImageFileSamples samples(path);
    TImageFileSamples alongside(path);
    TByteAnalyzer analyzer;
    analyzer.OtherStandards = otherStandards;
    return AutoAnalyzeBlocks(analyzer, samples, &alongside);
}

TListed ListRecording(const std::string& path, const std::string& standard, bool json,
                      bool progress) {
    TScanSettings settings;
    settings.Parts = PartsFor(standard);
    TListed listed;
    TAudioProgress bar(progress);
    const auto put = [&](const std::string& line) {
        bar.Clear();
        if (json) {
            std::cout << (listed.Any ? ",\n" : "[\n") << line;
        } else {
            std::cout << line << '\n';
        }
        std::cout.flush();
        listed.Any = true;
    };
    ScanRecording(
        path, settings,
        [&](TStreamEvent&& event) {
            if (event.Kind == TStreamEvent::TKind::Dtmf) {
                put(json ? DtmfJson(event.Dtmf).dump() : DtmfLine(event.Dtmf));
            } else if (event.Kind == TStreamEvent::TKind::Message) {
                put(json ? MessageJson(event.Message).dump() : MessageLine(event.Message));
                listed.AnyUncertain = listed.AnyUncertain || event.Message.Uncertain;
            }
            return true;
        },
        [&](const TScanProgress& at) {
            bar.Show(static_cast<double>(at.Frames) / at.Rate,
                     static_cast<double>(at.Total) / at.Rate);
        });
    bar.Clear();
    if (json) {
        std::cout << (listed.Any ? "\n]\n" : "[]\n");
    }
    return listed;
}

}  // namespace ringlark::cli
