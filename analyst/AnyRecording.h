#pragma once

// Any recording libsndfile reads (16/24-bit, float, stereo, any rate, ADPCM
// WAV, FLAC): made into the analyst's image (mono, 44100/s, 8 bits), whole or
// a stretch of it, or scanned for its messages block by block.
#include <cstdint>
#include <functional>
#include <string>

#include "core/Bytes.h"
#include "decoding/StreamDecoder.h"

namespace ringlark {

struct TAnyRecording {
    Bytes Image;  // a complete 8-bit mono 44100/s WAV image
    double SourceRate = 0;
    int SourceChannels = 0;
    double Gain = 1;  // what the samples were multiplied by before 8 bits
    // Where the image begins in the recording, and where it ends (seconds).
    double FromSeconds = 0;
    double ToSeconds = 0;
};

// What a recording's header says: its rate, channels and length.
struct TRecordingInfo {
    double Rate = 0;
    int Channels = 0;
    int64_t Frames = 0;
    double Seconds() const { return Rate > 0 ? static_cast<double>(Frames) / Rate : 0.0; }
};

// Throws RinglarkError "Cannot open file %s" when libsndfile cannot read it.
TRecordingInfo ReadRecordingInfo(const std::string& path);

// Reads the file, mixes its channels to one, resamples it to 44100/s with
// libsoxr (very high quality) and scales it so that its loudest sample just
// fits 8 bits (never more than 64 times louder: silence stays quiet). The file
// is read twice in blocks, once for the loudest sample and once for the image,
// so that only the image is held whole. Throws RinglarkError "Cannot open file
// %s" when libsndfile cannot read it.
TAnyRecording LoadAnyRecording(const std::string& path);

// The same conversion of the stretch from `fromSeconds` to `toSeconds` (cut
// to the recording; the gain is that stretch's own), found with sf_seek.
TAnyRecording LoadRecordingExcerpt(const std::string& path, double fromSeconds, double toSeconds);

// A recording scanned for its messages: each event as the stream decoder
// reports it, with how far the scan had read then (seconds, to a tenth of a
// second: the blocks are fed in tenths), and the progress
// in frames after each block. Cancelled is asked between blocks.
struct TScanCallbacks {
    std::function<void(const TStreamEvent& event, double heardSeconds)> Found;
    std::function<void(int64_t framesDone, int64_t framesTotal)> Progress;
    std::function<bool()> Cancelled;
};

inline constexpr std::size_t ScanBlockFrames = 16384;

// Reads the file block by block, mixes each to one channel and feeds it to a
// stream decoder at the file's rate that reports uncertain messages too (marked
// so): what it holds does not grow with the file. Returns false when
// cancelled. Throws RinglarkError "Cannot open file %s" when libsndfile cannot
// read it, and the stream decoder's error for a rate outside 8000 to 192000/s.
bool ScanRecording(const std::string& path, const TScanCallbacks& callbacks,
                   std::size_t blockFrames = ScanBlockFrames);

}  // namespace ringlark
