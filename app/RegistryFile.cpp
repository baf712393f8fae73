#include "app/RegistryFile.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>

namespace ringlark {

namespace {

constexpr std::string_view kHeader = "REGEDIT4";
// The header of the editor's newer (UTF-16) export format.
constexpr std::string_view kHeaderVersion5 = "Windows Registry Editor Version 5.00";

// Lines end at CR LF, a lone LF or a lone CR.
std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        lines.push_back(text.substr(start, end - start));
        start = end + (text.substr(end, 2) == "\r\n" ? 2 : 1);
    }
    return lines;
}

// A UTF-16 export (with its byte-order mark) as single bytes: characters up to
// U+00FF as themselves, others as "?".
Bytes FromUtf16(std::string_view text, bool littleEndian) {
    Bytes out;
    out.reserve(text.size() / 2);
    for (std::size_t i = 2; i + 1 < text.size(); i += 2) {
        const auto a = static_cast<uint8_t>(text[i]);
        const auto b = static_cast<uint8_t>(text[i + 1]);
        const unsigned unit = littleEndian ? a | b << 8 : b | a << 8;
        out += unit < 0x100 ? static_cast<char>(unit) : '?';
    }
    return out;
}

// Registry names are matched without regard to ASCII letter case.
Bytes Folded(std::string_view name) {
    Bytes out(name);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto up = [](char c) {
                   return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
               };
               return up(x) == up(y);
           });
}

// Reads a quoted text with \\ and \" escapes starting at text[pos] == '"'.
// Returns the position after the closing quote, or npos when it is not closed.
std::size_t ReadQuoted(std::string_view text, std::size_t pos, Bytes& out) {
    out.clear();
    for (std::size_t i = pos + 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\') {
            if (i + 1 >= text.size()) {
                return std::string_view::npos;
            }
            out += text[++i];
        } else if (c == '"') {
            return i + 1;
        } else {
            out += c;
        }
    }
    return std::string_view::npos;
}

std::optional<uint32_t> ParseDword(std::string_view digits) {
    if (digits.empty() || digits.size() > 8) {
        return std::nullopt;
    }
    uint32_t value = 0;
    for (char c : digits) {
        const int d = HexDigitValue(c);
        if (d < 0) {
            return std::nullopt;
        }
        value = value * 16 + static_cast<uint32_t>(d);
    }
    return value;
}

// hex(1):41,42,00 - a string value written as its bytes, used for texts that
// hold line breaks.
std::optional<Bytes> ParseHexString(std::string_view data) {
    Bytes bytes;
    std::size_t i = 0;
    while (i < data.size()) {
        if (i + 1 >= data.size()) {
            return std::nullopt;
        }
        const int high = HexDigitValue(data[i]);
        const int low = HexDigitValue(data[i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        bytes += static_cast<char>(high * 16 + low);
        i += 2;
        if (i < data.size()) {
            if (data[i] != ',') {
                return std::nullopt;
            }
            ++i;
        }
    }
    // a string value ends at its terminating zero
    const auto zero = bytes.find('\0');
    if (zero == Bytes::npos) {
        return std::nullopt;
    }
    bytes.resize(zero);
    return bytes;
}

TRegValue ParseData(std::string_view data) {
    TRegValue value;
    value.Type = TRegType::Unreadable;
    if (!data.empty() && data.front() == '"') {
        Bytes text;
        if (ReadQuoted(data, 0, text) == data.size()) {
            // a string value ends at a zero byte, as it does in the registry
            text.resize(std::min(text.size(), text.find('\0')));
            value.Type = TRegType::String;
            value.Text = std::move(text);
        }
    } else if (data.substr(0, 6) == "dword:") {
        if (const auto number = ParseDword(data.substr(6))) {
            value.Type = TRegType::Dword;
            value.Number = *number;
        }
    } else if (data.substr(0, 7) == "hex(1):") {
        if (auto text = ParseHexString(data.substr(7))) {
            value.Type = TRegType::String;
            value.Text = std::move(*text);
        }
    }
    return value;
}

bool NeedsHexForm(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

Bytes Quote(std::string_view text) {
    Bytes out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') {
            out += '\\';
        }
        out += c;
    }
    out += '"';
    return out;
}

}  // namespace

const TRegValue* TRegKey::Find(std::string_view name) const {
    for (const auto& [valueName, value] : Values) {
        if (SameName(valueName, name)) {
            return &value;
        }
    }
    return nullptr;
}

void TRegKey::Set(const Bytes& name, TRegValue value) {
    for (auto& [valueName, existing] : Values) {
        if (SameName(valueName, name)) {
            existing = std::move(value);
            return;
        }
    }
    Values.emplace_back(name, std::move(value));
}

const TRegKey* TRegistryDocument::FindKey(std::string_view path) const {
    for (const auto& [keyPath, key] : Keys) {
        if (SameName(keyPath, path)) {
            return &key;
        }
    }
    return nullptr;
}

TRegKey& TRegistryDocument::Key(const Bytes& path) {
    for (auto& [keyPath, key] : Keys) {
        if (SameName(keyPath, path)) {
            return key;
        }
    }
    Keys.emplace_back(path, TRegKey{});
    return Keys.back().second;
}

TRegistryDocument ParseRegistryText(std::string_view text) {
    Bytes converted;
    if (text.substr(0, 2) == "\xFF\xFE" || text.substr(0, 2) == "\xFE\xFF") {
        converted = FromUtf16(text, text[0] == '\xFF');
        text = converted;
    }
    TRegistryDocument document;
    // Keys and values are found through indexes while parsing, so that a file
    // of many sections or values is read in linear time.
    std::unordered_map<Bytes, std::size_t> keyIndex;
    std::vector<std::unordered_map<Bytes, std::size_t>> valueIndex;
    TRegKey* current = nullptr;
    std::unordered_map<Bytes, std::size_t>* currentValues = nullptr;
    bool first = true;
    for (std::string_view line : Lines(text)) {
        if (first) {
            first = false;
            if (line == kHeader || line == kHeaderVersion5) {
                continue;
            }
        }
        if (line.empty()) {
            continue;
        }
        if (line.front() == '[') {
            if (line.back() != ']' || line.size() < 3) {
                current = nullptr;
                ++document.DamagedLines;
                continue;
            }
            const Bytes path(line.substr(1, line.size() - 2));
            const auto [at, added] = keyIndex.emplace(Folded(path), document.Keys.size());
            if (added) {
                document.Keys.emplace_back(path, TRegKey{});
                valueIndex.emplace_back();
            }
            current = &document.Keys[at->second].second;
            currentValues = &valueIndex[at->second];
            continue;
        }
        Bytes name;
        const std::size_t afterName =
            line.front() == '"' ? ReadQuoted(line, 0, name) : std::string_view::npos;
        if (afterName == std::string_view::npos || afterName >= line.size() ||
            line[afterName] != '=' || current == nullptr) {
            ++(current != nullptr ? current->DamagedLines : document.DamagedLines);
            continue;
        }
        const auto [at, added] = currentValues->emplace(Folded(name), current->Values.size());
        if (added) {
            current->Values.emplace_back(name, ParseData(line.substr(afterName + 1)));
        } else {
            current->Values[at->second].second = ParseData(line.substr(afterName + 1));
        }
    }
    return document;
}

Bytes FormatRegistryText(const TRegistryDocument& document) {
    Bytes out(kHeader);
    out += "\r\n";
    for (const auto& [path, key] : document.Keys) {
        out += "\r\n[" + path + "]\r\n";
        for (const auto& [name, value] : key.Values) {
            out += Quote(name) + "=";
            if (value.Type == TRegType::Dword) {
                char digits[16];
                std::snprintf(digits, sizeof digits, "dword:%08x", value.Number);
                out += digits;
            } else if (NeedsHexForm(value.Text)) {
                out += "hex(1):";
                for (char c : value.Text + '\0') {
                    char pair[4];
                    std::snprintf(pair, sizeof pair, "%02x", static_cast<unsigned char>(c));
                    out += pair;
                    out += ',';
                }
                out.pop_back();
            } else {
                out += Quote(value.Text);
            }
            out += "\r\n";
        }
    }
    return out;
}

}  // namespace ringlark
