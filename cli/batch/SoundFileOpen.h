#pragma once

// Sound files opened for libsndfile with the rules every reading path shares:
// the reason when a file cannot be opened, and a WAV file whose data chunk
// declares 0 bytes read to the end of the file (as the analyst's loader reads
// it).
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace ringlark::cli {

enum class TSoundOpening {
    // The whole recording is wanted: a FIFO or device other than standard
    // input is refused (it could block for ever), and standard input is read
    // to its end first, so that any format can be read from it.
    Whole,
    // A stream read as it comes: FIFOs and standard input are read as they
    // arrive.
    Stream,
    // A recording read once from start to end in blocks: a FIFO or device
    // other than standard input is refused as for Whole, standard input is
    // read as it arrives.
    Scan,
};

class TSoundFileSource;
class TPipeSource;

// An open libsndfile handle. Throws RinglarkError "Cannot open file %s: "
// and the reason.
class TOpenSound {
  public:
    TOpenSound(const std::string& path, TSoundOpening opening);
    ~TOpenSound();
    TOpenSound(const TOpenSound&) = delete;
    TOpenSound& operator=(const TOpenSound&) = delete;

    void* Handle() const { return file_; }  // SNDFILE*
    double Rate() const { return rate_; }
    std::size_t Channels() const { return channels_; }
    // Frames in the file; 0 when not known (a stream).
    uint64_t Frames() const { return frames_; }

  private:
    std::unique_ptr<TSoundFileSource> source_;
    std::unique_ptr<TPipeSource> pipe_;
    void* file_ = nullptr;
    double rate_ = 0;
    std::size_t channels_ = 1;
    uint64_t frames_ = 0;
};

// The WAV data chunk's declared size as the analyst's loader takes it: 0 means
// "to the end of the file". Returns where the data chunk's size field is and
// the sizes to read there and in the RIFF header, or nothing when the header
// needs no change. `head` is the start of the file, `fileSize` its size.
struct TWavSizeFix {
    std::size_t DataSizeAt = 0;
    uint32_t RiffSize = 0, DataSize = 0;
};
std::optional<TWavSizeFix> WavSizeFix(const std::string& head, uint64_t fileSize);

}  // namespace ringlark::cli
