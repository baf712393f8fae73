#include "analyst/ImageFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "analyst/WavLoader.h"
#include "core/RinglarkError.h"
#include "core/UserMessages.h"
#include "core/WavImage.h"

namespace ringlark {

TImageFileSamples::TImageFileSamples(const std::string& path) : path_(path) {
    in_.open(path, std::ios::binary);
    if (!in_) {
        throw RinglarkError(msg::CannotOpenFile(path, std::strerror(errno)));
    }
    Bytes header(WavHeaderSize, '\0');
    in_.read(header.data(), static_cast<std::streamsize>(header.size()));
    in_.seekg(0, std::ios::end);
    const auto size = static_cast<uint64_t>(in_.tellg());
    const uint32_t rate = ReadLe32(header, 24);
    factor_ = rate == 11025 ? 4 : rate == 22050 ? 2 : 1;
    if (factor_ > 1) {
        // the conversion's count of input samples (see InputSamples)
        const uint32_t claimed = ReadLe32(header, 40);
        const uint64_t available = size - WavHeaderSize;
        inputs_ = claimed > available + loader::MaxRepeatedShortfall
                      ? std::min<uint64_t>(available, UINT32_MAX)
                      : claimed;
    }
    Rewind();
}

void TImageFileSamples::Rewind() {
    in_.clear();
    in_.seekg(static_cast<std::streamoff>(WavHeaderSize));
    taken_ = 0;
    last_ = 128;
    previous_ = 127;
    pendingAt_ = pendingCount_ = 0;
    blockAt_ = blockCount_ = 0;
}

uint8_t TImageFileSamples::NextInput() {
    if (blockAt_ == blockCount_) {
        in_.read(block_, sizeof block_);
        if (in_.bad()) {
            throw RinglarkError(msg::CannotOpenFile(path_, std::strerror(errno)));
        }
        blockCount_ = static_cast<std::size_t>(in_.gcount());
        blockAt_ = 0;
    }
    if (blockAt_ < blockCount_) {
        last_ = static_cast<uint8_t>(block_[blockAt_++]);
    }
    return last_;
}

std::size_t TImageFileSamples::Read(unsigned char* to, std::size_t count) {
    if (factor_ == 1) {
        // the image is the file's bytes as they are
        in_.read(reinterpret_cast<char*>(to), static_cast<std::streamsize>(count));
        if (in_.bad()) {
            throw RinglarkError(msg::CannotOpenFile(path_, std::strerror(errno)));
        }
        return static_cast<std::size_t>(in_.gcount());
    }
    std::size_t done = 0;
    while (done < count) {
        if (pendingAt_ == pendingCount_) {
            if (taken_ == inputs_) {
                break;
            }
            ++taken_;
            const uint8_t s = NextInput();
            pendingAt_ = 0;
            if (factor_ == 4) {
                std::fill_n(pending_, 4, s);
                pendingCount_ = 4;
            } else {
                pending_[0] = static_cast<unsigned char>((s + previous_) / 2);
                pending_[1] = s;
                pendingCount_ = 2;
                previous_ = s;
            }
        }
        to[done++] = pending_[pendingAt_++];
    }
    return done;
}

}  // namespace ringlark
