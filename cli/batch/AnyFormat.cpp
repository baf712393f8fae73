#include "cli/batch/AnyFormat.h"

#include <sndfile.h>

#include "cli/batch/SoundFileOpen.h"
#include "core/RinglarkError.h"
#include "core/SampleValues.h"

namespace ringlark::cli {

TSoundFile ReadAnyFormat(const std::string& path) {
    const TOpenSound opened(path, TSoundOpening::Whole);
    auto* file = static_cast<SNDFILE*>(opened.Handle());
    TSoundFile sound;
    sound.SampleRate = opened.Rate();
    const std::size_t channels = opened.Channels();
    std::vector<float> block(4096 * channels);
    sf_count_t frames = 0;
    while ((frames = sf_readf_float(file, block.data(), 4096)) > 0) {
        for (sf_count_t f = 0; f < frames; ++f) {
            float sum = 0;
            for (std::size_t c = 0; c < channels; ++c) {
                sum += SaneSample(block[static_cast<std::size_t>(f) * channels + c]);
            }
            sound.Samples.push_back(sum / static_cast<float>(channels));
        }
    }
    return sound;
}

// Whether --standard (empty: every standard) asks for a decoder's standard;
// ETSI and BT share the V.23 decoder.
bool Wants(const std::string& name, TCidStandard standard) {
    if (name.empty()) {
        return true;
    }
    return standard == TCidStandard::EtsiV23 ? name == "etsi" || name == "bt"
                                             : name == StandardName(standard);
}

}  // namespace ringlark::cli
