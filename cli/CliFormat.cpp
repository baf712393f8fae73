#include "cli/CliFormat.h"

#include <iostream>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "core/Cp1252.h"
#include "core/FileWriting.h"
#include "core/RinglarkError.h"
#include "core/UserMessages.h"

namespace ringlark::cli {

namespace {

std::string ShownCharacter(char c) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 32 && byte < 127) {
        return std::string("'") + c + "'";
    }
    char text[16];
    std::snprintf(text, sizeof text, "byte 0x%02X", byte);
    return text;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Terminal width of a UTF-8 text: one column per code point.
std::size_t Width(std::string_view utf8) {
    return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

}  // namespace

std::optional<Bytes> ParseHexArguments(const std::vector<std::string>& arguments,
                                       std::string& error) {
    Bytes out;
    for (std::size_t a = 0; a < arguments.size(); ++a) {
        const std::string& text = arguments[a];
        std::size_t groupStart = 0;
        int high = -1;
        for (std::size_t i = 0; i <= text.size(); ++i) {
            if (i == text.size() || IsBlank(text[i])) {
                if (high >= 0) {
                    error = "malformed hex in argument " + std::to_string(a + 1) + ": \"" +
                            text.substr(groupStart, i - groupStart) +
                            "\" has an odd number of digits";
                    return std::nullopt;
                }
                groupStart = i + 1;
                continue;
            }
            const int digit = HexDigitValue(text[i]);
            if (digit < 0) {
                error = "malformed hex in argument " + std::to_string(a + 1) + " at character " +
                        std::to_string(i + 1) + ": " + ShownCharacter(text[i]) +
                        " is not a hexadecimal digit";
                return std::nullopt;
            }
            if (high < 0) {
                high = digit;
            } else {
                out += static_cast<char>(high * 16 + digit);
                high = -1;
            }
        }
    }
    return out;
}

std::string InspectorText(const TInspectorTable& table) {
    std::vector<std::array<std::string, 6>> lines;
    std::array<std::string, 6> titles;
    std::copy(InspectorTitles.begin(), InspectorTitles.end(), titles.begin());
    lines.push_back(titles);
    for (const auto& row : table.Rows) {
        std::array<std::string, 6> cells;
        for (std::size_t c = 0; c < cells.size(); ++c) {
            cells[c] = ShownText(row.Cells[c]);
        }
        lines.push_back(cells);
    }
    std::array<std::size_t, 6> widths{};
    for (const auto& line : lines) {
        for (std::size_t c = 0; c < widths.size(); ++c) {
            widths[c] = std::max(widths[c], Width(line[c]));
        }
    }
    std::ostringstream out;
    out << "Raw Stream: " << Cp1252ToUtf8(table.RawStream) << '\n';
    for (const auto& line : lines) {
        std::string text;
        for (std::size_t c = 0; c < widths.size(); ++c) {
            text += line[c];
            if (c + 1 < widths.size()) {
                text += std::string(widths[c] - Width(line[c]) + 2, ' ');
            }
        }
        while (!text.empty() && text.back() == ' ') {
            text.pop_back();
        }
        out << text << '\n';
    }
    return out.str();
}

nlohmann::json InspectorJson(const TInspectorTable& table) {
    nlohmann::json rows = nlohmann::json::array();
    for (const auto& row : table.Rows) {
        rows.push_back({{"byte", std::stoi(row.Cells[0])},
                        {"hex", row.Cells[1]},
                        {"decimal", row.Cells[2]},
                        {"binary", row.Cells[3]},
                        {"ascii", Cp1252ToUtf8(row.Cells[4])},
                        {"notes", Cp1252ToUtf8(row.Cells[5])}});
    }
    return {{"raw", Cp1252ToUtf8(table.RawStream)}, {"rows", rows}};
}

std::string HexString(std::string_view bytes) {
    std::string out;
    for (char c : bytes) {
        char text[4];
        std::snprintf(text, sizeof text, "%02X", static_cast<unsigned char>(c));
        if (!out.empty()) {
            out += ' ';
        }
        out += text;
    }
    return out;
}

std::string FieldsText(std::string_view message, TCidStandard standard) {
    std::string fields;
    for (const auto& note : InspectorFields(BuildInspector(message, standard))) {
        fields += (fields.empty() ? "" : "; ") + ShownText(note);
    }
    return fields;
}

std::string FieldsText(std::string_view message) {
    return FieldsText(message, TCidStandard::Bell202);
}

void WriteOutputFile(const std::string& path, std::string_view bytes, bool force) {
    if (path == "-") {
        std::cout.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        std::cout.flush();
        if (!std::cout) {
            throw RinglarkError(msg::StreamWriteFailed(std::strerror(errno)));
        }
        return;
    }
    if (force) {
        WriteFileReplacing(path, bytes);
    } else if (!WriteFileIfAbsent(path, bytes)) {
        throw RinglarkError(msg::FileExistsUseForce(path));
    }
}

void PutFileName(nlohmann::json& out, const std::string& key, const std::string& path) {
    try {
        out[key] = path;
        (void)out.dump();  // throws on bytes that are not UTF-8
    } catch (const nlohmann::json::exception&) {
        out[key] =
            nlohmann::json(path).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        out[key] = nlohmann::json::parse(out[key].get<std::string>());
        out[key + "_hex"] = HexString(path);
    }
}

void PrintInspectorTable(const TInspectorTable& table, bool json) {
    if (json) {
        std::cout << InspectorJson(table).dump(2) << '\n';
    } else {
        std::cout << InspectorText(table);
    }
}

}  // namespace ringlark::cli
