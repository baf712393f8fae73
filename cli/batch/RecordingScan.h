#pragma once

// Recordings of any length read once, block by block, through the stream
// decoder: what `analyze` finds in a file holds no more of it than one block
// and one message.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "decoding/ByteExtraction.h"
#include "decoding/StreamDecoder.h"

namespace ringlark::cli {

struct TScanSettings {
    TStreamParts Parts;
    bool IncludeUncertain = true;
    bool IncludeFailed = false;
};

struct TScanProgress {
    uint64_t Frames = 0;  // read so far
    uint64_t Total = 0;   // in the file; 0 when not known
    double Rate = 0;
};

struct TScanned {
    double Rate = 0;
    uint64_t Frames = 0;  // read from the file
};

// Reads the recording (any file libsndfile reads; "-" standard input, as it
// arrives) and hands each event to `found` as soon as the decoder reports it;
// reading stops when `found` returns false. `progress` is told how far it
// has read after each block. Throws
// RinglarkError "Cannot open file %s: " and the reason, or the decoder's
// error for a rate it does not take.
TScanned ScanRecording(const std::string& path, const TScanSettings& settings,
                       const std::function<bool(TStreamEvent&&)>& found,
                       const std::function<void(const TScanProgress&)>& progress = {});

// What the stream decoder looks for when a standard is named on the command
// line (empty: all of them); alert tones are not listed by analyze.
TStreamParts PartsFor(const std::string& standard);

// The automatic analysis of a recording read once: the first certain Bell 202
// message ("CORR"), else the first certain V.23 one ("V23"), else the first
// DTMF digits ("DTMF"), else the first message of Bell 202 or V.23 when it is
// uncertain (marked so, with its other reading), else a failure. Reading stops
// at the first certain Bell 202 message, unless `messages` asks for every
// certain message of the result's standard (Bell 202 unless it is V.23).
TAutoResult ScanFirstMessage(const std::string& path, const std::string& standard,
                             std::vector<TCorrMessage>* messages = nullptr);

// A regular file the analyst's loader takes: the automatic analysis of the
// image it would make, read in blocks (see AutoAnalyzeBlocks) so that the
// image is never held, with the same result. Nothing for any other file.
// With onlyCheck, the file is not analysed: a failure result says it is one.
std::optional<TAutoResult> AnalyzeImageFile(const std::string& path, bool otherStandards,
                                            bool onlyCheck = false);

// Every message of the standards asked for, one line each (or one JSON object
// per line inside a JSON array) printed as it is found, with a progress bar on
// stderr for a long recording when `progress`. Returns whether any message
// was found, and whether any was uncertain.
struct TListed {
    bool Any = false;
    bool AnyUncertain = false;
};
TListed ListRecording(const std::string& path, const std::string& standard, bool json,
                      bool progress);

}  // namespace ringlark::cli
