#pragma once

// Any recording libsndfile reads (16/24-bit, float, stereo, any rate, ADPCM
// WAV, FLAC), made into the analyst's image: mono, 44100/s, 8 bits.
#include <string>

#include "core/Bytes.h"

namespace ringlark {

struct TAnyRecording {
    Bytes Image;  // a complete 8-bit mono 44100/s WAV image
    double SourceRate = 0;
    int SourceChannels = 0;
    double Gain = 1;  // what the samples were multiplied by before 8 bits
};

// Reads the file, mixes its channels to one, resamples it to 44100/s with
// libsoxr (very high quality) and scales it so that its loudest sample just
// fits 8 bits (never more than 64 times louder: silence stays quiet). Throws
// RinglarkError "Cannot open file %s" when libsndfile cannot read it.
TAnyRecording LoadAnyRecording(const std::string& path);

}  // namespace ringlark
