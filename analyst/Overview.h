#pragma once

// The whole recording at a glance, above the waveform viewer's 771 samples:
// its envelope, and where each message and alert tone lies.
#include <cstdint>
#include <string>
#include <vector>

#include "core/Bytes.h"

namespace ringlark {

struct TOverviewSpan {
    enum class TKind { Message, Alert };
    TKind Kind = TKind::Message;
    int64_t From = 0, To = 0;  // samples of the image, from the first sample on
    std::string Label;         // "CORR", "V23", "DTMF", "CAS", "SAS"
};

struct TOverview {
    // The lowest and highest 8-bit sample under each column.
    std::vector<std::pair<uint8_t, uint8_t>> Columns;
    std::vector<TOverviewSpan> Spans;
    int64_t Samples = 0;
};

// An 8-bit 44100/s image drawn into `width` columns, with the messages of
// every system and the alert tones it holds.
TOverview BuildOverview(const Bytes& image, int width);

// The viewer's scroll position (an offset into the image, header included)
// that a click on a column asks for: the 771-sample view is centred on the
// point clicked, within the scroll bar's range.
int64_t OverviewScrollPosition(const TOverview& overview, int column, int width, int64_t scrollMin,
                               int64_t scrollMax);

// The strip's time scale: a tick every 1, 2 or 5 times a power of ten
// seconds, about one per 100 columns, each with its label ("0 s", "0.5 s",
// "1 s").
struct TOverviewTick {
    int Column = 0;
    std::string Label;
};
std::vector<TOverviewTick> OverviewTicks(const TOverview& overview, int width);

}  // namespace ringlark
