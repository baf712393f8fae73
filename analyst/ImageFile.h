#pragma once

// The image the WAV loader makes of a file, produced a block at a time from
// the file where it lies: for an analysis that must not hold the whole image.
#include <cstdint>
#include <fstream>
#include <string>

#include "decoding/BlockAnalysis.h"

namespace ringlark {

class TImageFileSamples : public IImageSamples {
  public:
    // A file the loader takes (LoadRefusal gives nothing for it). Throws
    // RinglarkError "Cannot open file %s: " and the reason.
    explicit TImageFileSamples(const std::string& path);
    void Rewind() override;
    std::size_t Read(unsigned char* to, std::size_t count) override;

  private:
    // The next input sample; past the end of the file the last one again.
    uint8_t NextInput();

    std::string path_;
    std::ifstream in_;
    uint32_t factor_ = 1;  // 44100 over the file's rate
    uint64_t inputs_ = 0;  // input samples a conversion reads
    uint64_t taken_ = 0;   // of them so far
    uint8_t last_ = 128;   // the last input sample read
    int previous_ = 127;   // the 22050/s conversion's previous sample
    unsigned char pending_[4] = {};
    std::size_t pendingAt_ = 0, pendingCount_ = 0;
    char block_[65536] = {};
    std::size_t blockAt_ = 0, blockCount_ = 0;
};

}  // namespace ringlark
