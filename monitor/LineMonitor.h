#pragma once

// What the line monitor shows of each event: the cells of its row.
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Bytes.h"
#include "decoding/StreamDecoder.h"

namespace ringlark {

inline constexpr std::array<std::string_view, 9> LineMonitorTitles = {
    "Time", "Kind", "Number", "Name", "Date/Time", "Checksum", "Quality", "Heard", "Details"};

// The widest the Number and Name columns grow, in characters: a longer text is
// elided (its whole shown as a tool tip), so that Date/Time and Checksum stay
// in view; Details takes the rest of the width.
inline constexpr int LineMonitorNarrowColumnChars = 24;
inline constexpr int LineMonitorQualityColumn = 6;
inline constexpr int LineMonitorHeardColumn = 7;  // the wall clock, filled in by the window
inline constexpr int LineMonitorDetailsColumn = 8;

struct TLineMonitorRow {
    // Texts as UTF-8; the message's own bytes for the inspector (empty for a
    // tone and for DTMF digits), read in the terms of its standard.
    std::array<std::string, LineMonitorTitles.size()> Cells;
    Bytes Message;
    TCidStandard Standard = TCidStandard::Bell202;
    // A row that marks where a listening began ("— Start 2 —" in its first
    // cell), drawn across the whole table.
    bool Separator = false;
};

// "12.345 s", "SDMF" / "MDMF" / "VMWI" / "Message" (another type), "V.23 " before
// them for V.23, "DTMF" / "CAS" / "SAS", the calling
// number (or why it is absent), the name, "12/07 09:30", "OK", "Uncertain" or
// "Failed" (read whole but refused: what was read, and why in Details) ("-" for
// DTMF, which has no checksum), a message's quality ("0.861"), the wall clock
// (left empty here), and the rest: the other values a
// message carries, a tone's duration, frequencies and levels.
TLineMonitorRow LineMonitorRow(const TStreamEvent& event);

// What a desktop notification says of a call: "Call from 8005551212" and the
// name sent (with the phone book's, as the row shows it), or "No name sent".
// Only an accepted message that sets up a call (SDMF, MDMF, V.23 call setup)
// or DTMF caller ID is a call; tones, message waiting and refused or
// uncertain readings are not.
struct TCallNotice {
    std::string Title;
    std::string Body;
};
std::optional<TCallNotice> CallNoticeFor(const TLineMonitorRow& row);

// The rows of every listening since the list was last cleared. Each listening
// counts from 0 s again, so every Start but the first on an empty list adds a
// separator row that names it.
class TLineMonitorLog {
  public:
    // A Start: returns the separator row added, if any.
    const TLineMonitorRow* BeginRun();
    const TLineMonitorRow& Add(const TStreamEvent& event);
    // A row made from an event and completed (a phone book's name added).
    const TLineMonitorRow& Add(TLineMonitorRow row);
    // Empties the list; the next Start counts as the first again.
    void Clear();

    const std::vector<TLineMonitorRow>& Rows() const { return rows_; }
    int Runs() const { return runs_; }

  private:
    std::vector<TLineMonitorRow> rows_;
    int runs_ = 0;
};

// The status line: "Listening at 44100/s", "Stopped", "Recorded 12.3 s to
// FILE", each followed by "; input lost 2 times" when the sound input dropped
// samples during the listening.
std::string ListeningStatus(double rate, int lost);
std::string StoppedStatus(int lost);
std::string RecordedStatus(double seconds, const std::string& path, int lost);

}  // namespace ringlark
