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
// that a click on a column asks for: the 771-sample view starts there, within
// the scroll bar's range.
int64_t OverviewScrollPosition(const TOverview& overview, int column, int width, int64_t scrollMin,
                               int64_t scrollMax);

}  // namespace ringlark
