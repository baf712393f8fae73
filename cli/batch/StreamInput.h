#pragma once

// Recordings read as streams, block by block as they arrive: any file that
// libsndfile reads, or raw samples, from a file or standard input ("-").
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/batch/SoundFileOpen.h"

#include "core/Services.h"

namespace ringlark::cli {

// Throws RinglarkError "Cannot open file %s: " and the reason when libsndfile
// cannot read it.
class TSoundFileInput : public ISoundInput {
  public:
    explicit TSoundFileInput(const std::string& path);
    ~TSoundFileInput() override;
    TSoundFileInput(const TSoundFileInput&) = delete;
    TSoundFileInput& operator=(const TSoundFileInput&) = delete;

    double Rate() const override { return rate_; }
    std::size_t Read(float* samples, std::size_t count) override;

  private:
    std::unique_ptr<TOpenSound> file_;
    double rate_ = 0;
    std::size_t channels_ = 1;
    std::vector<float> frames_;
};

enum class TRawFormat { S16le, U8, F32le };
// "s16le", "u8", "f32le"; nothing for any other name.
std::optional<TRawFormat> RawFormatNamed(const std::string& name);

class TRawInput : public ISoundInput {
  public:
    TRawInput(const std::string& path, TRawFormat format, double rate);
    ~TRawInput() override;
    TRawInput(const TRawInput&) = delete;
    TRawInput& operator=(const TRawInput&) = delete;

    double Rate() const override { return rate_; }
    // A read cut short by a signal returns what had come, or 0 (the end).
    std::size_t Read(float* samples, std::size_t count) override;

  private:
    int fd_ = -1;
    bool ownFd_ = false;
    TRawFormat format_;
    double rate_;
    std::string pending_;  // bytes of a sample not complete yet
};

}  // namespace ringlark::cli
