#include "cli/line/LineStreams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "core/RinglarkError.h"
#include "core/UserMessages.h"

namespace ringlark::cli {

namespace {

uint32_t Le32(const char* p) {
    return static_cast<uint32_t>(static_cast<uint8_t>(p[0])) |
           static_cast<uint32_t>(static_cast<uint8_t>(p[1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(p[2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(p[3])) << 24;
}

uint16_t Le16(const char* p) {
    return static_cast<uint16_t>(static_cast<uint8_t>(p[0]) | static_cast<uint8_t>(p[1]) << 8);
}

void PutLe(std::string& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

// A WAV header for 16-bit mono PCM; `samples` sets the sizes (a stream of
// unknown length gives the largest).
std::string WavHeader(uint32_t rate, uint64_t samples) {
    const uint64_t data = std::min<uint64_t>(samples * 2, 0xFFFFFFFFull - 36);
    std::string h = "RIFF";
    PutLe(h, static_cast<uint32_t>(data + 36), 4);
    h += "WAVEfmt ";
    PutLe(h, 16, 4);
    PutLe(h, 1, 2);  // PCM
    PutLe(h, 1, 2);  // mono
    PutLe(h, rate, 4);
    PutLe(h, rate * 2, 4);
    PutLe(h, 2, 2);
    PutLe(h, 16, 2);
    h += "data";
    PutLe(h, static_cast<uint32_t>(data), 4);
    return h;
}

void WriteAll(int fd, const char* bytes, std::size_t count) {
    while (count > 0) {
        const ssize_t n = ::write(fd, bytes, count);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            throw RinglarkError(msg::StreamWriteFailed(std::strerror(errno)));
        }
        bytes += n;
        count -= static_cast<std::size_t>(n);
    }
}

}  // namespace

TSampleReader::TSampleReader(const std::string& path, double rawRate)
    : path_(path), rate_(rawRate) {
    if (path == "-") {
        fd_ = STDIN_FILENO;
    } else {
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) {
            throw RinglarkError(msg::CannotOpenFile(path, std::strerror(errno)));
        }
        own_ = true;
    }
    char magic[4];
    if (!ReadExactly(magic, 4)) {
        return;  // fewer than two samples: none
    }
    if (std::memcmp(magic, "RIFF", 4) == 0) {
        ReadWavHeader();
    } else {
        pending_.assign(magic, 4);
    }
}

TSampleReader::~TSampleReader() {
    if (own_) {
        ::close(fd_);
    }
}

bool TSampleReader::ReadExactly(char* bytes, std::size_t count) {
    while (count > 0) {
        const ssize_t n = ::read(fd_, bytes, count);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            throw RinglarkError(msg::CannotOpenFile(path_, std::strerror(errno)));
        }
        if (n == 0) {
            return false;
        }
        bytes += n;
        count -= static_cast<std::size_t>(n);
    }
    return true;
}

void TSampleReader::ReadWavHeader() {
    const auto refuse = [this] {
        throw RinglarkError(msg::CannotOpenFile(path_, "it is not a 16-bit mono PCM WAV file"));
    };
    char riff[8];
    if (!ReadExactly(riff, 8) || std::memcmp(riff + 4, "WAVE", 4) != 0) {
        refuse();
    }
    bool format = false;
    for (;;) {
        char chunk[8];
        if (!ReadExactly(chunk, 8)) {
            refuse();
        }
        const uint32_t size = Le32(chunk + 4);
        if (std::memcmp(chunk, "data", 4) == 0) {
            if (!format) {
                refuse();
            }
            return;  // read to the end of the stream, whatever the size says
        }
        if (size > (1u << 20)) {
            refuse();
        }
        std::string body(size + (size & 1), '\0');
        if (!ReadExactly(body.data(), body.size())) {
            refuse();
        }
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (size < 16 || Le16(body.data()) != 1 || Le16(body.data() + 2) != 1 ||
                Le16(body.data() + 14) != 16) {
                refuse();
            }
            rate_ = Le32(body.data() + 4);
            format = true;
        }
    }
}

std::size_t TSampleReader::Read(float* samples, std::size_t count) {
    if (count == 0) {
        return 0;
    }
    while (pending_.size() < 2) {
        char bytes[8192];
        const std::size_t want = std::min(sizeof bytes, count * 2);
        const ssize_t n = ::read(fd_, bytes, want);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            throw RinglarkError(msg::CannotOpenFile(path_, std::strerror(errno)));
        }
        if (n == 0) {
            return 0;  // a last odd byte is no sample
        }
        pending_.append(bytes, static_cast<std::size_t>(n));
    }
    const std::size_t n = std::min(count, pending_.size() / 2);
    for (std::size_t i = 0; i < n; ++i) {
        samples[i] =
            static_cast<float>(static_cast<int16_t>(Le16(pending_.data() + 2 * i))) / 32768.0f;
    }
    pending_.erase(0, 2 * n);
    return n;
}

TSampleWriter::TSampleWriter(const std::string& path, double rate, bool wav, bool force)
    : path_(path), wav_(wav) {
    if (path == "-") {
        fd_ = STDOUT_FILENO;
    } else {
        // a pipe or a device is written as it is; a regular file is new or replaced
        struct stat info {};
        const bool special = ::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode);
        const int flags =
            O_WRONLY | O_CLOEXEC | (special ? 0 : O_CREAT | (force ? O_TRUNC : O_EXCL));
        fd_ = ::open(path.c_str(), flags, 0644);
        if (fd_ < 0 && errno == EEXIST) {
            throw RinglarkError(msg::FileExistsUseForce(path));
        }
        if (fd_ < 0) {
            throw RinglarkError(msg::CannotCreateFile(path, std::strerror(errno)));
        }
        own_ = true;
    }
    if (wav_) {
        const std::string header =
            WavHeader(static_cast<uint32_t>(std::lround(rate)), 0xFFFFFFFFull);
        WriteAll(fd_, header.data(), header.size());
    }
}

TSampleWriter::~TSampleWriter() {
    if (own_ && fd_ >= 0) {
        ::close(fd_);
    }
}

void TSampleWriter::Write(const float* samples, std::size_t count) {
    std::string bytes;
    bytes.reserve(count * 2);
    for (std::size_t i = 0; i < count; ++i) {
        const long v = std::lround(std::clamp(samples[i], -1.0f, 1.0f) * 32767.0f);
        PutLe(bytes, static_cast<uint32_t>(static_cast<uint16_t>(static_cast<int16_t>(v))), 2);
    }
    WriteAll(fd_, bytes.data(), bytes.size());
    written_ += count;
}

void TSampleWriter::Close() {
    if (fd_ < 0) {
        return;
    }
    if (wav_ && ::lseek(fd_, 0, SEEK_SET) == 0) {
        char rate[4];
        if (::pread(fd_, rate, 4, 24) == 4) {
            const std::string header = WavHeader(Le32(rate), written_);
            WriteAll(fd_, header.data(), header.size());
        }
    }
    // standard output too: the reader sees the end now, not when the process ends
    ::close(fd_);
    fd_ = -1;
}

}  // namespace ringlark::cli
