#pragma once

// A recording too long for the waveform viewer: its messages listed as a scan
// finds them, and a few seconds around any of them opened in the viewer.
#include <atomic>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "analyst/AnyRecording.h"
#include "decoding/StreamDecoder.h"

namespace ringlark {

class TAnalystTab;

// The longest recording "Analyze Any Recording..." shows in the viewer: ten
// minutes. The viewer holds the whole image at 44100 bytes a second (26 MB for
// ten minutes; reading it in blocks holds nothing more), but what the desktop
// does with it on top takes about 13 times that: the analyst tab's analysis
// three, the measurements window's copy and its measurements ten. Ten minutes
// bring the program's peak to about 370 MB, an hour would to 2.2 GB
// (long_recording_bench viewer). A longer recording is scanned for its
// messages instead, in a few megabytes whatever its length, and any of them
// opened in the viewer with a few seconds around it.
inline constexpr double ViewerLimitSeconds = 600;

// "1:23:45", or with tenths "1:23:45.6" (hours as many as there are).
std::string ClockText(double seconds, bool tenths);

// "This recording is 24:00:00 long, too long to show in the viewer. Its
// messages are listed instead."
std::string TooLongNotice(double seconds);

// One row of the list: an FSK message, DTMF caller ID or an alert tone.
struct TLongRecordingRow {
    double Seconds = 0;  // where it begins in the recording
    double End = 0;      // where it ends (DTMF: where the scan had read when it was found)
    std::string Time;    // "1:23:45.6"
    std::string Tag;     // "CORR", "V23", "DTMF", "CAS", "SAS"
    std::string Hex;     // the message's bytes ("80 20 01 ..."), DTMF digits
    // The values the message carries, as the inspector notes them ("Date: 01/01;
    // Time: 12:00; ..."); an uncertain reading's other reading; a tone's
    // duration, frequencies and levels.
    std::string Fields;
    bool Uncertain = false;
};
TLongRecordingRow LongRecordingRow(const TStreamEvent& event, double heardSeconds);

// The list window's model: what it shows and what its buttons do. The scan runs
// elsewhere (a thread of the window's) and reports through Found, Progressed
// and Finished with the number Begin gave it; everything else is called where
// the window lives.
class TLongRecordingList {
  public:
    // The excerpt opened for a row: from this long before it begins to this
    // long after it ends.
    static constexpr double SecondsBefore = 2.0;
    static constexpr double SecondsAfter = 3.0;

    explicit TLongRecordingList(TAnalystTab& analyst);

    // A scan of a recording begins: the list is emptied and the heading says
    // why the recording is listed. Returns the scan's number; what an earlier
    // scan still reports is dropped.
    int Begin(const std::string& path, const TRecordingInfo& info);
    void Found(int scan, const TStreamEvent& event, double heardSeconds);
    void Progressed(int scan, int64_t framesDone, int64_t framesTotal);
    // The scan ran to the end of the recording, or stopped when cancelled.
    void Finished(int scan, bool completed);
    // The scan stopped on an error (the window reports it too).
    void Failed(int scan, const std::string& reason);

    // "Cancel": the scan stops at its next block.
    void Cancel();
    // What the scan asks between blocks.
    bool CancelRequested() const { return cancel_.load(); }

    const std::string& Path() const { return path_; }
    const std::string& Heading() const { return heading_; }
    // "Scanning: 42 %, 3 found", "Scanned 24:00:00: 12 found", "Cancelled at
    // 1:02:03: 3 found", or why the scan stopped.
    std::string Status() const;
    int PerMille() const { return perMille_; }
    bool Scanning() const { return scanning_; }
    const std::vector<TLongRecordingRow>& Rows() const { return rows_; }

    bool CanCancel() const { return scanning_ && !cancel_.load(); }
    bool CanOpen(int row) const;
    // The stretch opened for a row, cut to the recording: seconds from, to.
    std::pair<double, double> Excerpt(int row) const;
    // "Open in Viewer": the row's excerpt loaded into the viewer and analysed
    // on the analyst tab. Returns whether it was loaded. Throws RinglarkError
    // when the recording cannot be read.
    bool Open(int row);

  private:
    TAnalystTab& analyst_;
    std::string path_, heading_, failure_;
    double seconds_ = 0;  // the recording's length
    int scan_ = 0;
    bool scanning_ = false, completed_ = false;
    int64_t done_ = 0;
    double rate_ = 0;
    int perMille_ = 0;
    std::atomic<bool> cancel_{false};
    std::vector<TLongRecordingRow> rows_;
};

}  // namespace ringlark
