#include "cli/batch/SoundFileOpen.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/Bytes.h"
#include "core/FileWriting.h"
#include "core/RinglarkError.h"
#include "core/UserMessages.h"

namespace ringlark::cli {

namespace {

constexpr std::size_t kHeadBytes = 65536;
constexpr std::size_t kMaxStandardInput = 2147483647;  // as the analyst's loader

// libsndfile's reason, without its closing full stop.
std::string LibraryReason() {
    std::string reason = sf_strerror(nullptr);
    while (!reason.empty() && (reason.back() == '.' || reason.back() == ' ')) {
        reason.pop_back();
    }
    return reason.empty() ? "not a sound file" : reason;
}

bool IsStandardInput(const struct stat& info) {
    struct stat in {};
    return fstat(STDIN_FILENO, &in) == 0 && in.st_dev == info.st_dev && in.st_ino == info.st_ino;
}

}  // namespace

// Bytes that libsndfile reads through its virtual I/O: a position, a length,
// and reads from the position on.
class TVirtualSource {
  public:
    virtual ~TVirtualSource() = default;

    static SF_VIRTUAL_IO Io() {
        SF_VIRTUAL_IO io{};
        io.get_filelen = [](void* self) {
            return static_cast<sf_count_t>(static_cast<TVirtualSource*>(self)->Length());
        };
        io.seek = [](sf_count_t offset, int whence, void* self) {
            auto& s = *static_cast<TVirtualSource*>(self);
            const auto base = whence == SEEK_CUR   ? static_cast<sf_count_t>(s.at_)
                              : whence == SEEK_END ? static_cast<sf_count_t>(s.Length())
                                                   : 0;
            s.at_ = static_cast<uint64_t>(std::max<sf_count_t>(0, base + offset));
            return static_cast<sf_count_t>(s.at_);
        };
        io.read = [](void* to, sf_count_t count, void* self) {
            return static_cast<TVirtualSource*>(self)->Read(static_cast<char*>(to), count);
        };
        io.write = [](const void*, sf_count_t, void*) { return sf_count_t{0}; };
        io.tell = [](void* self) {
            return static_cast<sf_count_t>(static_cast<TVirtualSource*>(self)->at_);
        };
        return io;
    }

  protected:
    virtual uint64_t Length() const = 0;
    virtual sf_count_t Read(char* to, sf_count_t count) = 0;
    uint64_t at_ = 0;
};

// The bytes libsndfile reads: a regular file read where it lies, or a whole
// stream kept in memory, each with the WAV header's sizes fixed.
class TSoundFileSource : public TVirtualSource {
  public:
    TSoundFileSource(int fd, uint64_t size, std::optional<TWavSizeFix> fix)
        : fd_(fd), size_(size), fix_(fix) {}
    TSoundFileSource(Bytes bytes, std::optional<TWavSizeFix> fix)
        : bytes_(std::move(bytes)), size_(bytes_.size()), fix_(fix) {}
    ~TSoundFileSource() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    TSoundFileSource(const TSoundFileSource&) = delete;
    TSoundFileSource& operator=(const TSoundFileSource&) = delete;

  private:
    uint64_t Length() const override { return size_; }
    sf_count_t Read(char* to, sf_count_t count) override {
        if (count <= 0 || at_ >= size_) {
            return 0;
        }
        const auto n =
            static_cast<std::size_t>(std::min<uint64_t>(static_cast<uint64_t>(count), size_ - at_));
        std::size_t got = n;
        if (fd_ >= 0) {
            const ssize_t r = pread(fd_, to, n, static_cast<off_t>(at_));
            got = r > 0 ? static_cast<std::size_t>(r) : 0;
        } else {
            std::memcpy(to, bytes_.data() + at_, n);
        }
        if (fix_) {
            Patch(to, got, 4, fix_->RiffSize);
            Patch(to, got, fix_->DataSizeAt, fix_->DataSize);
        }
        at_ += got;
        return static_cast<sf_count_t>(got);
    }

    // The 4 little-endian bytes of `value` at file offset `offset`, where they
    // fall in what was read.
    void Patch(char* to, std::size_t got, std::size_t offset, uint32_t value) const {
        for (std::size_t i = 0; i < 4; ++i) {
            const uint64_t at = offset + i;
            if (at >= at_ && at < at_ + got) {
                to[at - at_] = static_cast<char>((value >> (8 * i)) & 0xFF);
            }
        }
    }

    int fd_ = -1;
    Bytes bytes_;
    uint64_t size_ = 0;
    std::optional<TWavSizeFix> fix_;
};

std::optional<TWavSizeFix> WavSizeFix(const std::string& head, uint64_t fileSize) {
    if (head.size() < 12 || head.compare(0, 4, "RIFF") != 0 || head.compare(8, 4, "WAVE") != 0) {
        return std::nullopt;
    }
    for (std::size_t at = 12; at + 8 <= head.size();) {
        const uint32_t size = ReadLe32(head, at + 4);
        if (head.compare(at, 4, "data") == 0) {
            const uint64_t start = at + 8;
            if (size != 0 || fileSize <= start) {
                return std::nullopt;
            }
            const uint64_t limit = 0xFFFFFFFFu - start;
            TWavSizeFix fix;
            fix.DataSizeAt = at + 4;
            fix.DataSize = static_cast<uint32_t>(std::min(fileSize - start, limit));
            fix.RiffSize = static_cast<uint32_t>(fix.DataSize + start - 8);
            return fix;
        }
        at += 8 + static_cast<std::size_t>(size) + (size & 1);
    }
    return std::nullopt;
}

// A pipe read once from start to end: its first bytes are kept, so that
// libsndfile may seek about in the header, and the rest is read as it comes.
// A WAV header whose data chunk declares 0 bytes is read as going on to the
// end of the stream.
class TPipeSource : public TVirtualSource {
  public:
    explicit TPipeSource(int fd) : fd_(fd) {
        head_.resize(kHeadBytes);
        std::size_t got = 0;
        while (got < head_.size()) {
            const ssize_t r = read(fd_, head_.data() + got, head_.size() - got);
            if (r < 0 && errno == EINTR) {
                continue;
            }
            if (r <= 0) {
                break;
            }
            got += static_cast<std::size_t>(r);
        }
        head_.resize(got);
        consumed_ = got;
        if (const auto fix = WavSizeFix(head_, kUnknownLength)) {
            // the largest size that is a whole number of frames of any
            // block size up to 8 channels of 4 bytes (2^20 * 3 * 5 * 7)
            constexpr uint32_t kWholeFrames = 110100480;
            const auto start = static_cast<uint32_t>(fix->DataSizeAt + 4);
            const uint32_t data = (0xFFFFFFFFu - start) / kWholeFrames * kWholeFrames;
            WriteLe32(head_, 4, data + start - 8);
            WriteLe32(head_, fix->DataSizeAt, data);
        }
    }

  private:
    static constexpr uint64_t kUnknownLength = uint64_t{1} << 62;

    uint64_t Length() const override { return kUnknownLength; }
    sf_count_t Read(char* to, sf_count_t count) override {
        std::size_t done = 0;
        const auto want = static_cast<std::size_t>(std::max<sf_count_t>(0, count));
        // from the kept head
        if (at_ < head_.size()) {
            done = std::min(want, head_.size() - static_cast<std::size_t>(at_));
            std::memcpy(to, head_.data() + at_, done);
            at_ += done;
        }
        // Only the next bytes of the pipe can be read: behind them they are
        // gone, and a look further on (for chunks after the samples) finds
        // nothing rather than reading the samples away.
        if (at_ != consumed_) {
            return static_cast<sf_count_t>(done);
        }
        while (done < want) {
            const ssize_t r = read(fd_, to + done, want - done);
            if (r < 0 && errno == EINTR) {
                continue;
            }
            if (r <= 0) {
                break;
            }
            done += static_cast<std::size_t>(r);
            at_ += static_cast<uint64_t>(r);
            consumed_ += static_cast<uint64_t>(r);
        }
        return static_cast<sf_count_t>(done);
    }

    int fd_;
    Bytes head_;
    uint64_t consumed_ = 0;  // bytes taken from the pipe
};

TOpenSound::TOpenSound(const std::string& path, TSoundOpening opening) {
    SF_INFO info{};
    int fd = -1;
    bool ownFd = false;
    bool stream = false;
    if (path == "-") {
        struct stat in {};
        fd = STDIN_FILENO;
        stream = fstat(fd, &in) != 0 || !S_ISREG(in.st_mode);
    } else {
        struct stat about {};
        if (stat(path.c_str(), &about) != 0) {
            throw RinglarkError(msg::CannotOpenFile(path, std::strerror(errno)));
        }
        if (S_ISDIR(about.st_mode)) {
            throw RinglarkError(msg::CannotOpenFile(path, "it is a folder"));
        }
        if (!S_ISREG(about.st_mode)) {
            if (IsStandardInput(about)) {
                fd = STDIN_FILENO;
                stream = true;
            } else if (opening != TSoundOpening::Stream) {
                throw RinglarkError(msg::NotARegularFile(path));
            } else {
                // a FIFO or device read as it comes; opening a FIFO waits for its writer
                file_ = sf_open(path.c_str(), SFM_READ, &info);
                if (file_ == nullptr) {
                    throw RinglarkError(msg::CannotOpenFile(
                        path, errno == EINTR ? std::strerror(errno) : LibraryReason()));
                }
            }
        } else {
            fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0) {
                throw RinglarkError(msg::CannotOpenFile(path, std::strerror(errno)));
            }
            ownFd = true;
        }
    }
    struct TCloser {
        int fd;
        bool own;
        ~TCloser() {
            if (own) {
                close(fd);
            }
        }
    } closer{fd, ownFd};
    if (file_ == nullptr && stream) {
        if (opening == TSoundOpening::Scan) {
            pipe_ = std::make_unique<TPipeSource>(fd);
            SF_VIRTUAL_IO io = TVirtualSource::Io();
            file_ =
                sf_open_virtual(&io, SFM_READ, &info, static_cast<TVirtualSource*>(pipe_.get()));
        } else if (opening == TSoundOpening::Stream) {
            file_ = sf_open_fd(fd, SFM_READ, &info, 0);
            // libsndfile's FLAC reader seeks, which a pipe cannot
            if (file_ == nullptr && strcasestr(sf_strerror(nullptr), "flac") != nullptr) {
                throw RinglarkError(
                    msg::CannotOpenFile(path, "FLAC cannot be read from standard input"));
            }
        } else {
            Bytes bytes = ReadStream(fd, "(standard input)", kMaxStandardInput, "2 GB");
            const auto fix = WavSizeFix(bytes.substr(0, kHeadBytes), bytes.size());
            source_ = std::make_unique<TSoundFileSource>(std::move(bytes), fix);
        }
    } else if (file_ == nullptr) {
        struct stat about {};
        fstat(fd, &about);
        const auto size = static_cast<uint64_t>(about.st_size);
        std::string head(static_cast<std::size_t>(std::min<uint64_t>(size, kHeadBytes)), '\0');
        const ssize_t got = pread(fd, head.data(), head.size(), 0);
        head.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        if (const auto fix = WavSizeFix(head, size)) {
            const int own = ownFd ? fd : dup(fd);
            closer.own = false;
            source_ = std::make_unique<TSoundFileSource>(own, size, fix);
        } else {
            file_ = path == "-" ? sf_open_fd(fd, SFM_READ, &info, 0)
                                : sf_open(path.c_str(), SFM_READ, &info);
        }
    }
    if (source_) {
        SF_VIRTUAL_IO io = TVirtualSource::Io();
        file_ = sf_open_virtual(&io, SFM_READ, &info, static_cast<TVirtualSource*>(source_.get()));
    }
    if (file_ == nullptr) {
        throw RinglarkError(msg::CannotOpenFile(path, LibraryReason()));
    }
    rate_ = info.samplerate;
    channels_ = static_cast<std::size_t>(std::max(1, info.channels));
    // a stream's header may claim anything (libsndfile says SF_COUNT_MAX)
    constexpr sf_count_t kMostFrames = sf_count_t{1} << 40;
    frames_ = info.frames > 0 && info.frames < kMostFrames ? static_cast<uint64_t>(info.frames) : 0;
}

TOpenSound::~TOpenSound() {
    if (file_ != nullptr) {
        sf_close(static_cast<SNDFILE*>(file_));
    }
}

}  // namespace ringlark::cli
