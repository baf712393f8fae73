#include "cli/AnyFormat.h"

#include <sndfile.h>
#include <unistd.h>

#include "core/RinglarkError.h"
#include "core/UserMessages.h"

namespace ringlark::cli {

TSoundFile ReadAnyFormat(const std::string& path) {
    SF_INFO info{};
    // "-" is standard input (formats that need no seeking: WAV, AU, raw...).
    SNDFILE* file = path == "-" ? sf_open_fd(STDIN_FILENO, SFM_READ, &info, 0)
                                : sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        throw RinglarkError(msg::CannotOpenFile(path));
    }
    TSoundFile sound;
    sound.SampleRate = info.samplerate;
    const auto channels = static_cast<std::size_t>(std::max(1, info.channels));
    std::vector<float> block(4096 * channels);
    sf_count_t frames = 0;
    while ((frames = sf_readf_float(file, block.data(), 4096)) > 0) {
        for (sf_count_t f = 0; f < frames; ++f) {
            float sum = 0;
            for (std::size_t c = 0; c < channels; ++c) {
                sum += block[static_cast<std::size_t>(f) * channels + c];
            }
            sound.Samples.push_back(sum / static_cast<float>(channels));
        }
    }
    sf_close(file);
    return sound;
}

}  // namespace ringlark::cli
