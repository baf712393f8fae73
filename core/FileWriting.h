#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/Bytes.h"

namespace ringlark {

// Writes the bytes to the path, replacing any earlier file. They go to a
// temporary file in the same folder that is renamed over the target only once
// everything is written, so a failed write (a full disk) leaves an earlier file
// of that name as it was. A symbolic link is followed; an existing file keeps
// its permissions. Throws RinglarkError "Cannot create file %s" or
// "Stream write error".
void WriteFileReplacing(const std::string& path, std::string_view bytes);

// Writes the bytes to a new file: the final name is created only if nothing
// has that name, atomically, so of two writers racing for one name exactly one
// wins. Returns false (writing nothing) when the name exists. Throws as
// WriteFileReplacing does.
bool WriteFileIfAbsent(const std::string& path, std::string_view bytes);

// Reads a whole file. Throws RinglarkError "Cannot open file %s".
Bytes ReadWholeFile(const std::string& path);

// The size of a regular file. Throws RinglarkError "Cannot open file %s" when
// it does not exist or is a folder, and with the reason when it is a FIFO or a
// device (which must not be opened: a FIFO blocks, a device has no end).
uint64_t RegularFileSize(const std::string& path);

// Reads a regular file of at most maxBytes. What is not a regular file (a
// FIFO, a device, a folder) is refused before it is read, so that opening
// never blocks and reading never grows without a bound. Throws RinglarkError
// "Cannot open file %s", with the reason where there is one.
Bytes ReadRegularFile(const std::string& path, std::size_t maxBytes, std::string_view limitText);

// Reads all of a stream (standard input, a pipe) up to maxBytes; nothing when
// it holds more. Throws RinglarkError "Cannot open file %s" on a read error.
Bytes ReadStream(int fd, const std::string& name, std::size_t maxBytes, std::string_view limitText);

bool FileExists(const std::string& path);

// A file written piece by piece (a recording) under a temporary name in the
// folder of its final name, which it takes at Commit; until then an earlier
// file of that name stays as it was. Throws RinglarkError "Cannot create file
// %s: " and the reason when the temporary file cannot be made, "Stream write
// error: " and the reason when a write fails.
class TFileInProgress {
  public:
    explicit TFileInProgress(std::string path);
    ~TFileInProgress();  // removes the temporary file unless committed
    TFileInProgress(const TFileInProgress&) = delete;
    TFileInProgress& operator=(const TFileInProgress&) = delete;

    void Append(std::string_view bytes);
    void WriteAt(uint64_t offset, std::string_view bytes);
    void Sync();  // what is written reaches the disk
    // Gives the file its final name: replacing a file of that name, or, without
    // replace, only if nothing has it (returns false, keeping the temporary
    // file, when something does). When it fails (throwing), the file is kept
    // under its temporary name too.
    bool Commit(bool replace);
    const std::string& TemporaryName() const { return temp_; }
    bool Committed() const { return committed_; }

  private:
    std::string path_;
    std::string target_;
    std::string temp_;
    int fd_ = -1;
    bool committed_ = false;
    bool kept_ = false;  // a failed Commit leaves the temporary file
};

}  // namespace ringlark
