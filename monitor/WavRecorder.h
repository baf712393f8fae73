#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "core/FileWriting.h"

namespace ringlark {

// Keeps what a stream carried as a 16-bit mono WAV file at the stream's rate.
// It is written under a temporary name and takes its own at Finish; its header
// is brought up to date about once a second, so that a recording cut off
// before Finish (a crash, a power cut) is still a valid WAV file of what came
// until then, under the temporary name.
class TWavRecorder {
  public:
    // Throws RinglarkError "Cannot create file %s".
    TWavRecorder(const std::string& path, uint32_t rate);

    // Samples in -1 to 1, clipped there. Throws "Stream write error".
    void Append(std::span<const float> samples);
    // Completes the header and gives the file its name: replacing a file of
    // that name only with replace. Returns false when the name was taken
    // (the recording then stays under TemporaryName()).
    bool Finish(bool replace);

    uint64_t Samples() const { return samples_; }
    const std::string& TemporaryName() const { return file_->TemporaryName(); }

    // The 44-byte header of a 16-bit mono WAV file.
    static std::string Header(uint32_t rate, uint64_t samples);

  private:
    void WriteHeader();

    std::unique_ptr<TFileInProgress> file_;
    uint32_t rate_;
    uint64_t samples_ = 0;
    uint64_t headerAt_ = 0;  // samples when the header was last written
};

}  // namespace ringlark
