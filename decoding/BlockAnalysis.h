#pragma once

// The automatic analysis of a recording read in blocks, for one too large to
// hold at once: methods 1 and 2 walked as the samples come, method 3 and the
// other standards by the stream decoder.
#include <cstddef>
#include <optional>
#include <vector>

#include "core/WavImage.h"
#include "decoding/ByteExtraction.h"
#include "decoding/StreamDecoder.h"

namespace ringlark {

// What the automatic analysis takes from the events of a stream decoder: the
// first certain Bell 202 message ("CORR"), else the first certain V.23 one
// ("V23"), else the first DTMF digits ("DTMF"), else the first Bell 202
// message when it is uncertain, else the first V.23 one when it is (marked
// so, with its other reading).
class TFirstMessages {
  public:
    // keepAll: every certain message is kept too (see Certain).
    explicit TFirstMessages(bool keepAll = false) : keepAll_(keepAll) {}
    // False once nothing later can change the result: a certain Bell 202
    // message has come (unless every message is kept).
    bool Take(TStreamEvent&& event);
    // Nothing when no message came.
    std::optional<TAutoResult> Result() const;
    // With keepAll: the certain messages of the result's standard (Bell 202
    // unless the result is V.23), in order.
    std::vector<TCorrMessage> Certain(const TAutoResult& result) &&;

  private:
    bool keepAll_;
    std::optional<TCorrMessage> firstBell_, firstV23_, certainBell_, certainV23_;
    std::optional<TDtmfMessage> dtmf_;
    std::vector<TCorrMessage> certain_[2];  // Bell 202, V.23
};

// The samples of an 8-bit 44100/s image (from offset 44 on), read from the
// start again as often as asked.
class IImageSamples {
  public:
    virtual ~IImageSamples() = default;
    virtual void Rewind() = 0;
    // Up to `count` samples; 0 at the end.
    virtual std::size_t Read(unsigned char* to, std::size_t count) = 0;
};

// The samples of an image in memory (what a file read in blocks gives, for
// comparisons and measurements).
class TImageBytes : public IImageSamples {
  public:
    explicit TImageBytes(const Bytes& image) : image_(image) {}
    void Rewind() override { at_ = WavHeaderSize; }
    std::size_t Read(unsigned char* to, std::size_t count) override;

  private:
    const Bytes& image_;
    std::size_t at_ = WavHeaderSize;
};

// TByteAnalyzer::AutoAnalyze of the image the samples make, holding a block
// at a time: one pass for the mean and the tones' family, one for methods 1
// and 2, and, when they give no checked message, one through the stream
// decoder for Bell 202 (which stops at its first certain message), then one
// for V.23 and DTMF when that found none.
// With `alongside`, a second reader of the same samples, Bell 202's pass runs
// on a thread of its own while methods 1 and 2 walk (and is stopped when they
// succeed): the same result, sooner on two cores.
TAutoResult AutoAnalyzeBlocks(TByteAnalyzer& analyzer, IImageSamples& samples,
                              IImageSamples* alongside = nullptr);

}  // namespace ringlark
