#pragma once

// The sound of the line as streams another program can drive: signed 16-bit
// little-endian mono samples, raw or in a WAV file, on a file, a pipe or
// standard input and output ("-"). A role answers every block it reads with a
// block of the same length at once, so two roles (or a role and a script)
// joined by a pair of pipes keep one clock, counted in samples.
#include <cstddef>
#include <cstdint>
#include <string>

namespace ringlark::cli {

class TSampleReader {
  public:
    // A WAV file (it begins with RIFF: 16-bit mono PCM, its rate) or raw
    // samples at `rawRate`. Throws RinglarkError when it cannot be opened or
    // its header is not one of those.
    TSampleReader(const std::string& path, double rawRate);
    ~TSampleReader();
    TSampleReader(const TSampleReader&) = delete;
    TSampleReader& operator=(const TSampleReader&) = delete;

    double Rate() const { return rate_; }
    // Whatever has come, up to `count` samples (waits for at least one); 0 at
    // the end of the stream.
    std::size_t Read(float* samples, std::size_t count);

  private:
    bool ReadExactly(char* bytes, std::size_t count);
    void ReadWavHeader();

    std::string path_;
    int fd_ = -1;
    bool own_ = false;
    double rate_ = 0;
    std::string pending_;  // bytes read but not yet given out
};

class TSampleWriter {
  public:
    // An existing file is replaced only with `force`; "-" is standard output.
    TSampleWriter(const std::string& path, double rate, bool wav, bool force);
    ~TSampleWriter();
    TSampleWriter(const TSampleWriter&) = delete;
    TSampleWriter& operator=(const TSampleWriter&) = delete;

    // Throws RinglarkError "Stream write error: reason" when the reader has
    // gone or the disk is full.
    void Write(const float* samples, std::size_t count);
    // Completes a WAV file's sizes (where the output can seek) and closes it.
    void Close();

  private:
    std::string path_;
    int fd_ = -1;
    bool own_ = false;
    bool wav_;
    uint64_t written_ = 0;  // samples
};

}  // namespace ringlark::cli
