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

}  // namespace ringlark
