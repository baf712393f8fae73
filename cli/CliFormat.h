#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "core/Bytes.h"
#include "inspection/Inspector.h"

namespace ringlark::cli {

// Parses "04 0C 30", "040c30" or several such arguments into bytes. Each
// whitespace-separated group must hold whole hex pairs. On failure returns
// nothing and sets error to a text that says where the input is wrong.
std::optional<Bytes> ParseHexArguments(const std::vector<std::string>& arguments,
                                       std::string& error);

// The inspector table as aligned text with a "Raw Stream" line, UTF-8. Control
// bytes in notes are shown as the ASCII column shows them, as spaces.
std::string InspectorText(const TInspectorTable& table);

// {"raw": ..., "rows": [{"byte": 1, "hex": ..., ...}]}; texts converted to UTF-8.
nlohmann::json InspectorJson(const TInspectorTable& table);

std::string HexString(std::string_view bytes);

// The values a message carries, from the inspector's notes on them, joined by
// "; " ("Date: 01/01; Time: 12:00; Number: 1234"), UTF-8.
std::string FieldsText(std::string_view message);
// The same with a standard's parameter codes.
std::string FieldsText(std::string_view message, TCidStandard standard);

// Writes a file the command made: "-" is standard output; an existing file is
// replaced only with force, and without force the name is taken atomically (of
// two runs racing for one name, one wins and the other reports it exists).
void WriteOutputFile(const std::string& path, std::string_view bytes, bool force);

// A file name as a JSON value: as it is when it is UTF-8; otherwise with the
// bytes that are not replaced, and the exact bytes in hex under key + "_hex".
void PutFileName(nlohmann::json& out, const std::string& key, const std::string& path);

// The inspector table on standard output, as text or as JSON.
void PrintInspectorTable(const TInspectorTable& table, bool json);

}  // namespace ringlark::cli
