#include "cli/batch/StreamInput.h"

#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/RinglarkError.h"
#include "core/UserMessages.h"

namespace ringlark::cli {

TSoundFileInput::TSoundFileInput(const std::string& path)
    : file_(std::make_unique<TOpenSound>(path, TSoundOpening::Stream)),
      rate_(file_->Rate()),
      channels_(file_->Channels()) {}

TSoundFileInput::~TSoundFileInput() = default;

std::size_t TSoundFileInput::Read(float* samples, std::size_t count) {
    frames_.resize(count * channels_);
    const sf_count_t frames = sf_readf_float(static_cast<SNDFILE*>(file_->Handle()), frames_.data(),
                                             static_cast<sf_count_t>(count));
    if (frames <= 0) {
        return 0;
    }
    for (std::size_t f = 0; f < static_cast<std::size_t>(frames); ++f) {
        float sum = 0;
        for (std::size_t c = 0; c < channels_; ++c) {
            sum += frames_[f * channels_ + c];
        }
        samples[f] = sum / static_cast<float>(channels_);
    }
    return static_cast<std::size_t>(frames);
}

std::optional<TRawFormat> RawFormatNamed(const std::string& name) {
    if (name == "s16le") {
        return TRawFormat::S16le;
    }
    if (name == "u8") {
        return TRawFormat::U8;
    }
    if (name == "f32le") {
        return TRawFormat::F32le;
    }
    return std::nullopt;
}

TRawInput::TRawInput(const std::string& path, TRawFormat format, double rate)
    : format_(format), rate_(rate) {
    if (path == "-") {
        fd_ = STDIN_FILENO;
    } else {
        fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        ownFd_ = true;
        if (fd_ < 0) {
            throw RinglarkError(msg::CannotOpenFile(path, std::strerror(errno)));
        }
    }
}

TRawInput::~TRawInput() {
    if (ownFd_ && fd_ >= 0) {
        close(fd_);
    }
}

std::size_t TRawInput::Read(float* samples, std::size_t count) {
    const std::size_t width = format_ == TRawFormat::U8 ? 1 : format_ == TRawFormat::S16le ? 2 : 4;
    std::string bytes = std::move(pending_);
    const std::size_t have = bytes.size();
    bytes.resize(count * width);
    std::size_t filled = have;
    // Whole samples: read until at least one is complete, then take what came.
    while (filled < width) {
        const ssize_t n = read(fd_, bytes.data() + filled, bytes.size() - filled);
        if (n < 0 && errno == EINTR) {
            break;  // a signal: the caller decides whether to go on
        }
        if (n < 0) {
            throw RinglarkError(std::string("Cannot read the input: ") + std::strerror(errno));
        }
        if (n == 0) {
            break;
        }
        filled += static_cast<std::size_t>(n);
    }
    const std::size_t whole = filled / width;
    pending_.assign(bytes, whole * width, filled - whole * width);
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    for (std::size_t i = 0; i < whole; ++i) {
        const unsigned char* p = b + i * width;
        switch (format_) {
            case TRawFormat::U8:
                samples[i] = (static_cast<float>(p[0]) - 128.0f) * (1.0f / 128.0f);
                break;
            case TRawFormat::S16le:
                samples[i] = static_cast<float>(static_cast<int16_t>(p[0] | (p[1] << 8))) *
                             (1.0f / 32768.0f);
                break;
            case TRawFormat::F32le: {
                const uint32_t bits =
                    static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                    (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
                float v = 0;
                std::memcpy(&v, &bits, sizeof v);
                samples[i] = v;
                break;
            }
        }
    }
    return whole;
}

}  // namespace ringlark::cli
