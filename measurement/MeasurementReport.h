#pragma once

// The measurements of every FSK message in the recording the analyst loaded,
// as the Signal Measurements window shows them.
#include <string>
#include <vector>

#include "core/Bytes.h"
#include "measurement/Measurements.h"
#include "measurement/Sonogram.h"

namespace ringlark {

struct TMeasuredMessage {
    std::string Title;   // "0.400 s  Bell 202  80 20 01 ..."
    std::string Limits;  // "bell", "etsi", "bt"
    TCorrMessage Message;
    TFskMeasures Measures;
    std::vector<TLimitRow> Rows;
};

// Bell 202 and V.23 messages of an 8-bit 44100/s image, in time order, each
// measured and checked against its own system's limits.
std::vector<TMeasuredMessage> MeasureRecording(const Bytes& image);

// The sonogram of a message's span, from its seizure (or mark run) to its
// last stop bit, up to 4000 Hz.
TSonogram MessageSonogram(const Bytes& image, const TMeasuredMessage& message, int columns,
                          int bins);

}  // namespace ringlark
