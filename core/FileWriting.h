#pragma once

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

// Reads a whole file. Throws RinglarkError "Cannot open file %s".
Bytes ReadWholeFile(const std::string& path);

bool FileExists(const std::string& path);

}  // namespace ringlark
