#pragma once

#include <optional>
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
Bytes FormatWorkshopScript(const std::vector<TWorkshopRow>& rows);

// The 1-based position of the first row whose texts hold a CR, an LF or a zero
// byte, which a script cannot carry; nothing when there is none.
std::optional<std::size_t> FirstRowThatCannotBeStored(const std::vector<TWorkshopRow>& rows);

// The lines "$01=...", "$02=..." that a caller-ID tab transfers to the workshop,
// taken from the fields exactly as they stand (no filters).
std::vector<Bytes> TransferLines(const TCallerIdTab& tab);

}  // namespace ringlark
