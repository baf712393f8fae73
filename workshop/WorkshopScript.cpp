#include "workshop/WorkshopScript.h"

#include <algorithm>

#include "core/FileWriting.h"
#include "core/RinglarkError.h"

namespace ringlark {

std::vector<Bytes> SplitScriptLines(std::string_view content) {
    const auto zero = content.find('\0');
    if (zero != std::string_view::npos) {
        content = content.substr(0, zero);
    }
    std::vector<Bytes> lines;
    std::size_t start = 0;
    while (start < content.size()) {
        const auto end = content.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(content.substr(start));
            break;
        }
        lines.emplace_back(content.substr(start, end - start));
        start = end + 1;
        if (content[end] == '\r' && start < content.size() && content[start] == '\n') {
            ++start;
        }
    }
    return lines;
}

TWorkshopRow SplitScriptLine(std::string_view line) {
    const auto eq = line.find('=');
    if (eq == std::string_view::npos) {
        return {"", Bytes(line)};
    }
    return {Bytes(line.substr(0, eq)), Bytes(line.substr(eq + 1))};
}

Bytes ReadWorkshopScript(const std::string& path) {
    Bytes content = ReadRegularFile(path, MaxScriptBytes, "4 MB");
    const std::string_view head(content.data(), std::min<std::size_t>(content.size(), 4));
    const bool utf32 =
        head == std::string_view("\xFF\xFE\0\0", 4) || head == std::string_view("\0\0\xFE\xFF", 4);
    const bool utf16 = head.substr(0, 2) == "\xFF\xFE" || head.substr(0, 2) == "\xFE\xFF";
    if (utf32 || utf16) {
        throw RinglarkError("Cannot open file " + path + ": it is " +
                            (utf32 ? "UTF-32" : "UTF-16") +
                            " text; save the script as single-byte (ANSI) text");
    }
    return content;
}

std::vector<TWorkshopRow> ParseWorkshopScript(std::string_view content) {
    std::vector<TWorkshopRow> rows;
    for (const auto& line : SplitScriptLines(content)) {
        rows.push_back(SplitScriptLine(line));
    }
    return rows;
}

Bytes FormatWorkshopScript(const std::vector<TWorkshopRow>& rows) {
    Bytes out;
    for (const auto& row : rows) {
        out += row.TypeText;
        out += '=';
        out += row.ValueText;
        out += "\r\n";
    }
    return out;
}

std::optional<std::size_t> FirstRowThatCannotBeStored(const std::vector<TWorkshopRow>& rows) {
    constexpr std::string_view kBreaking("\r\n\0", 3);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].TypeText.find_first_of(kBreaking) != Bytes::npos ||
            rows[i].ValueText.find_first_of(kBreaking) != Bytes::npos) {
            return i + 1;
        }
    }
    return std::nullopt;
}

std::vector<Bytes> TransferLines(const TCallerIdTab& tab) {
    std::vector<Bytes> lines;
    lines.push_back("$01=" + tab.DateText + tab.TimeText);
    if (!tab.NumberDisabled) {
        lines.push_back(tab.OutOfArea ? "$04=O" : tab.Private ? "$04=P" : "$02=" + tab.NumberText);
    }
    if (!tab.NameDisabled) {
        lines.push_back(tab.OutOfArea ? "$08=O" : tab.Private ? "$08=P" : "$07=" + tab.NameText);
    }
    if (tab.LongDistance) {
        lines.push_back("$06=L");
    }
    return lines;
}

}  // namespace ringlark
