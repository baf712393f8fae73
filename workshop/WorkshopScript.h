#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Bytes.h"
#include "generation/MessageBuilder.h"
#include "generation/workflow/CallerIdTab.h"

// The workshop script (.CID): one line per row, Parameter "=" Message String,
// each line ended by CR LF.
namespace ringlark {

// Lines end at CR LF, a lone CR or a lone LF; a last line without an end counts;
// the text ends at the first zero byte.
std::vector<Bytes> SplitScriptLines(std::string_view content);

// Splits at the first "=": the text before is the parameter, the text after the
// message string. A line without "=" is all message string.
TWorkshopRow SplitScriptLine(std::string_view line);

std::vector<TWorkshopRow> ParseWorkshopScript(std::string_view content);

// A script file is a few lines of text; anything larger is refused.
inline constexpr std::size_t MaxScriptBytes = 4u << 20;
// Reads a script file: a regular file of at most MaxScriptBytes, in a
// single-byte encoding. A file that starts with a UTF-16 or UTF-32 byte-order
// mark is refused (read as bytes, it would be cut at its first zero byte).
// Throws RinglarkError "Cannot open file %s" with the reason.
Bytes ReadWorkshopScript(const std::string& path);
Bytes FormatWorkshopScript(const std::vector<TWorkshopRow>& rows);

// The 1-based position of the first row whose texts hold a CR, an LF or a zero
// byte, which a script cannot carry; nothing when there is none.
std::optional<std::size_t> FirstRowThatCannotBeStored(const std::vector<TWorkshopRow>& rows);

// The lines "$01=...", "$02=..." that a caller-ID tab transfers to the workshop,
// taken from the fields exactly as they stand (no filters).
std::vector<Bytes> TransferLines(const TCallerIdTab& tab);

}  // namespace ringlark
