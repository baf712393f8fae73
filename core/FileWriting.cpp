#include "core/FileWriting.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "core/RinglarkError.h"
#include "core/UserMessages.h"

namespace ringlark {

namespace {

std::string FolderOf(const std::string& path);

// The reason of the last failed call.
std::string Reason() {
    return std::strerror(errno);
}

// Writes all the bytes, at the file's position or, from `offset` when it is
// not negative, at that offset; a signal that interrupts a write does not end
// it. False when the file takes no more.
bool WriteFully(int fd, std::string_view bytes, int64_t offset = -1) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = offset < 0
                              ? write(fd, bytes.data() + done, bytes.size() - done)
                              : pwrite(fd, bytes.data() + done, bytes.size() - done,
                                       static_cast<off_t>(static_cast<uint64_t>(offset) + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = ENOSPC;  // the file takes no more
            }
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Creates a new file from a mkstemp pattern (ending in XXXXXX), which becomes
// its name; the descriptor, or -1.
int CreateFromPattern(std::string& pattern) {
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    pattern = name.data();
    return fd;
}

// A symbolic link is followed, so that saving replaces the file it points to;
// a link whose target does not exist yet is followed too, so that the file is
// created where it points rather than in the link's place.
std::string ResolveTarget(const std::string& path) {
    std::string target = path;
    for (int hops = 0; hops < 16; ++hops) {
        struct stat info {};
        if (lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            return target;
        }
        char resolved[PATH_MAX];
        if (realpath(target.c_str(), resolved) != nullptr) {
            return resolved;
        }
        const ssize_t n = readlink(target.c_str(), resolved, sizeof resolved - 1);
        if (n <= 0) {
            return target;
        }
        const std::string next(resolved, static_cast<std::size_t>(n));
        target = next.front() == '/' ? next : FolderOf(target) + "/" + next;
    }
    return target;
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

class TempFile {
  public:
    explicit TempFile(std::string name) : name_(std::move(name)) {}
    ~TempFile() {
        if (fd_ >= 0) {
            close(fd_);
        }
        if (!kept_) {
            unlink(name_.c_str());
        }
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    bool Create() {
        fd_ = CreateFromPattern(name_);
        kept_ = fd_ < 0;  // nothing to remove when nothing was created
        return fd_ >= 0;
    }
    bool WriteAll(std::string_view bytes) { return WriteFully(fd_, bytes) && fsync(fd_) == 0; }
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return close(fd) == 0;
    }
    int Fd() const { return fd_; }
    const std::string& Name() const { return name_; }
    void Keep() { kept_ = true; }

  private:
    std::string name_;
    int fd_ = -1;
    bool kept_ = true;
};

mode_t NewFileMode(const std::string& target) {
    struct stat info {};
    if (stat(target.c_str(), &info) == 0) {
        return info.st_mode & 07777;
    }
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

void WriteInPlace(const std::string& path, const std::string& target, std::string_view bytes) {
    const int fd = open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) {
        throw RinglarkError(msg::CannotCreateFile(path, Reason()));
    }
    const bool written = WriteFully(fd, bytes);
    close(fd);
    if (!written) {
        throw RinglarkError(msg::StreamWriteFailed(Reason()));
    }
}

// The written temporary file takes the final name only if nothing has it.
bool PlaceWithoutReplacing(const std::string& temp, const std::string& target) {
    if (renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno == EEXIST) {
        return false;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    // A file system without the exclusive rename: a hard link fails when the
    // name exists, and the temporary name is removed by its owner.
    return link(temp.c_str(), target.c_str()) == 0;
}

std::string TempPattern(const std::string& target) {
    const auto slash = target.find_last_of('/');
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    return FolderOf(target) + "/." + base + ".XXXXXX";
}

}  // namespace

bool WriteFileIfAbsent(const std::string& path, std::string_view bytes) {
    struct stat info {};
    if (path.empty()) {
        throw RinglarkError(msg::CannotCreateFile(path, "no file name"));
    }
    if (lstat(path.c_str(), &info) == 0) {
        return false;
    }
    TempFile temp(TempPattern(path));
    if (!temp.Create()) {
        throw RinglarkError(msg::CannotCreateFile(path, Reason()));
    }
    fchmod(temp.Fd(), NewFileMode(path));
    if (!temp.WriteAll(bytes) || !temp.Close()) {
        throw RinglarkError(msg::StreamWriteFailed(Reason()));
    }
    if (!PlaceWithoutReplacing(temp.Name(), path)) {
        if (errno == EEXIST) {
            return false;
        }
        throw RinglarkError(msg::CannotCreateFile(path, Reason()));
    }
    return true;  // the temporary name is removed; a rename left none behind
}

void WriteFileReplacing(const std::string& path, std::string_view bytes) {
    const std::string target = ResolveTarget(path);
    struct stat info {};
    const bool exists = stat(target.c_str(), &info) == 0;
    if (path.empty()) {
        throw RinglarkError(msg::CannotCreateFile(path, "no file name"));
    }
    if (exists && S_ISDIR(info.st_mode)) {
        throw RinglarkError(msg::CannotCreateFile(path, "it is a folder"));
    }
    if (exists && access(target.c_str(), W_OK) != 0) {
        throw RinglarkError(msg::CannotCreateFile(path, Reason()));
    }
    if (exists && !S_ISREG(info.st_mode)) {
        // A device or a pipe (/dev/stdout, a FIFO) is written in place: it
        // cannot be replaced by a renamed file, and it keeps no old content.
        WriteInPlace(path, target, bytes);
        return;
    }
    TempFile temp(TempPattern(target));
    if (!temp.Create()) {
        throw RinglarkError(msg::CannotCreateFile(path, Reason()));
    }
    fchmod(temp.Fd(), NewFileMode(target));
    if (!temp.WriteAll(bytes) || !temp.Close()) {
        throw RinglarkError(msg::StreamWriteFailed(Reason()));
    }
    if (rename(temp.Name().c_str(), target.c_str()) != 0) {
        throw RinglarkError(msg::CannotCreateFile(path, Reason()));
    }
    temp.Keep();
}

Bytes ReadWholeFile(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        throw RinglarkError(msg::CannotOpenFile(path, "it is a folder"));
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw RinglarkError(msg::CannotOpenFile(path, Reason()));
    }
    Bytes content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        throw RinglarkError(msg::CannotOpenFile(path, Reason()));
    }
    return content;
}

uint64_t RegularFileSize(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        throw RinglarkError(msg::CannotOpenFile(path, Reason()));
    }
    if (S_ISDIR(info.st_mode)) {
        throw RinglarkError(msg::CannotOpenFile(path, "it is a folder"));
    }
    if (!S_ISREG(info.st_mode)) {
        throw RinglarkError(msg::NotARegularFile(path));
    }
    return static_cast<uint64_t>(info.st_size);
}

Bytes ReadRegularFile(const std::string& path, std::size_t maxBytes, std::string_view limitText) {
    RegularFileSize(path);
    struct stat info {};
    // Opened without blocking, and checked again: the name may have changed.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        throw RinglarkError(msg::CannotOpenFile(path, Reason()));
    }
    struct TClose {
        int fd;
        ~TClose() { close(fd); }
    } closer{fd};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        throw RinglarkError(msg::NotARegularFile(path));
    }
    if (static_cast<uint64_t>(info.st_size) > maxBytes) {
        throw RinglarkError(msg::FileTooLarge(path, limitText));
    }
    return ReadStream(fd, path, maxBytes, limitText);
}

Bytes ReadStream(int fd, const std::string& name, std::size_t maxBytes,
                 std::string_view limitText) {
    Bytes content;
    std::vector<char> buffer(1 << 16);
    while (true) {
        const ssize_t n = read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            throw RinglarkError(msg::CannotOpenFile(name, Reason()));
        }
        if (n == 0) {
            return content;
        }
        if (content.size() + static_cast<std::size_t>(n) > maxBytes) {
            throw RinglarkError(msg::FileTooLarge(name, limitText));
        }
        content.append(buffer.data(), static_cast<std::size_t>(n));
    }
}

bool FileExists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

}  // namespace ringlark

namespace ringlark {

TFileInProgress::TFileInProgress(std::string path)
    : path_(std::move(path)), target_(ResolveTarget(path_)), temp_(TempPattern(target_)) {
    struct stat info {};
    if (path_.empty()) {
        throw RinglarkError(msg::CannotCreateFile(path_, "no file name"));
    }
    if (stat(target_.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        throw RinglarkError(msg::CannotCreateFile(
            path_, S_ISDIR(info.st_mode) ? "it is a folder" : "it is not a regular file"));
    }
    fd_ = CreateFromPattern(temp_);
    if (fd_ < 0) {
        throw RinglarkError(msg::CannotCreateFile(path_, Reason()));
    }
    fchmod(fd_, NewFileMode(target_));
}

TFileInProgress::~TFileInProgress() {
    if (fd_ >= 0) {
        close(fd_);
    }
    if (!committed_ && !kept_) {
        unlink(temp_.c_str());
    }
}

void TFileInProgress::Append(std::string_view bytes) {
    if (!WriteFully(fd_, bytes)) {
        throw RinglarkError(msg::StreamWriteFailed(Reason()));
    }
}

void TFileInProgress::WriteAt(uint64_t offset, std::string_view bytes) {
    if (!WriteFully(fd_, bytes, static_cast<int64_t>(offset))) {
        throw RinglarkError(msg::StreamWriteFailed(Reason()));
    }
}

void TFileInProgress::Sync() {
    if (fdatasync(fd_) != 0) {
        throw RinglarkError(msg::StreamWriteFailed(Reason()));
    }
}

bool TFileInProgress::Commit(bool replace) {
    kept_ = true;  // from here on, a failure keeps the file under its temporary name
    Sync();
    const int fd = fd_;
    fd_ = -1;
    if (close(fd) != 0) {
        throw RinglarkError(msg::StreamWriteFailed(Reason()));
    }
    if (replace) {
        if (rename(temp_.c_str(), target_.c_str()) != 0) {
            throw RinglarkError(msg::CannotCreateFile(path_, Reason()));
        }
    } else if (!PlaceWithoutReplacing(temp_, target_)) {
        if (errno == EEXIST) {
            committed_ = true;  // kept under its temporary name: nothing is lost
            return false;
        }
        throw RinglarkError(msg::CannotCreateFile(path_, Reason()));
    } else {
        unlink(temp_.c_str());  // a hard link leaves the temporary name behind
    }
    committed_ = true;
    return true;
}

}  // namespace ringlark
