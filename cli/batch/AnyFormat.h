#pragma once

#include <string>
#include <vector>

#include "decoding/ByteExtraction.h"
#include "protocol/Standards.h"

namespace ringlark::cli {

struct TSoundFile {
    std::vector<float> Samples;  // mixed down to one channel
    double SampleRate = 0;
};

// Any file libsndfile reads: WAV of any depth, float, FLAC, any rate, any
// number of channels; "-" is standard input, read to its end. A FIFO or
// device other than standard input is refused. Throws RinglarkError "Cannot
// open file %s: " and the reason.
TSoundFile ReadAnyFormat(const std::string& path);

// Whether a standard's name given on the command line (empty: every standard)
// asks for a decoder's standard; ETSI and BT share the V.23 decoder.
bool Wants(const std::string& name, TCidStandard standard);

}  // namespace ringlark::cli
