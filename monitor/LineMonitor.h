#pragma once

// What the line monitor shows of each event: the cells of its row.
#include <array>
#include <string>
#include <string_view>

#include "core/Bytes.h"
#include "decoding/StreamDecoder.h"

namespace ringlark {

inline constexpr std::array<std::string_view, 7> LineMonitorTitles = {
    "Time", "Kind", "Number", "Name", "Date/Time", "Checksum", "Details"};

struct TLineMonitorRow {
    // Texts as UTF-8; the message's own bytes for the inspector (empty for a tone).
    std::array<std::string, 7> Cells;
    Bytes Message;
};

// "12.345 s", "Message" / "CAS" / "SAS", the calling number (or why it is
// absent), the name, "12/07 09:30", "OK" or "Uncertain", and the rest: the
// other values a message carries, a tone's duration, frequencies and levels.
TLineMonitorRow LineMonitorRow(const TStreamEvent& event);

}  // namespace ringlark
