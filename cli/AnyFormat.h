#pragma once

#include <string>
#include <vector>

namespace ringlark::cli {

struct TSoundFile {
    std::vector<float> Samples;  // mixed down to one channel
    double SampleRate = 0;
};

// Any file libsndfile reads: WAV of any depth, float, FLAC, any rate, any
// number of channels. Throws RinglarkError "Cannot open file %s".
TSoundFile ReadAnyFormat(const std::string& path);

}  // namespace ringlark::cli
