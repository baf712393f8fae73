#include "generation/MessageBuilder.h"

#include <algorithm>
#include <array>

namespace ringlark {

namespace {

// The VMWI messages are stored whole, checksum included.
constexpr std::string_view kVmwiOn = "\x82\x03\x0B\x01\xFF\x70";
constexpr std::string_view kVmwiOff = std::string_view("\x82\x03\x0B\x01\x00\x6F", 6);
constexpr std::string_view kTestBody =
    "\x02\x0A"
    "0123456789";

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsAlphanumericOrSpace(char c) {
    return c == ' ' || IsDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

void AppendParameter(Bytes& body, uint8_t code, std::string_view value, std::size_t lengthByte) {
    body += static_cast<char>(code);
    body += static_cast<char>(lengthByte & 0xFF);
    body += value;
}

}  // namespace

Bytes FilterDigits(std::string_view text, const TFilterOptions& options) {
    if (options.NoFiltering) {
        return Bytes(text);
    }
    Bytes out;
    std::copy_if(text.begin(), text.end(), std::back_inserter(out), IsDigit);
    return out;
}

Bytes FilterName(std::string_view text, const TFilterOptions& options) {
    if (options.NoFiltering || !options.AlphaOnly) {
        return Bytes(text);
    }
    Bytes out;
    std::copy_if(text.begin(), text.end(), std::back_inserter(out), IsAlphanumericOrSpace);
    return out;
}

Bytes UpperCaseAscii(std::string_view text) {
    Bytes out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

TAsciiName AsciiName(std::string_view cp1252) {
    // Windows-1252 bytes 0x80-0xFF in ASCII; "" where there is no such form.
    static constexpr std::array<std::string_view, 128> kAscii = {
        "",  "",  "",  "",   "",   "...", "",   "",  "",  "",  "S", "",  "OE", "",  "Z",  "",
        "",  "'", "'", "\"", "\"", "",    "-",  "-", "~", "",  "s", "",  "oe", "",  "z",  "Y",
        " ", "",  "",  "",   "",   "",    "",   "",  "",  "",  "",  "",  "",   "-", "",   "",
        "",  "",  "",  "",   "'",  "",    "",   "",  "",  "",  "",  "",  "",   "",  "",   "",
        "A", "A", "A", "A",  "A",  "A",   "AE", "C", "E", "E", "E", "E", "I",  "I", "I",  "I",
        "D", "N", "O", "O",  "O",  "O",   "O",  "",  "O", "U", "U", "U", "U",  "Y", "TH", "ss",
        "a", "a", "a", "a",  "a",  "a",   "ae", "c", "e", "e", "e", "e", "i",  "i", "i",  "i",
        "d", "n", "o", "o",  "o",  "o",   "o",  "",  "o", "u", "u", "u", "u",  "y", "th", "y"};
    TAsciiName out;
    for (char c : cp1252) {
        const auto b = static_cast<uint8_t>(c);
        if (b >= 0x20 && b <= 0x7E) {
            out.Text += c;
        } else if (b >= 0x80 && !kAscii[b - 0x80].empty()) {
            out.Text += kAscii[b - 0x80];
        } else {
            out.Refused = b;
            break;
        }
    }
    return out;
}

uint32_t HexTextValue(std::string_view text) {
    constexpr std::string_view kDigits = "0123456789ABCDEF";
    uint32_t value = 0;
    uint32_t weight = 1;
    for (auto it = text.rbegin(); it != text.rend(); ++it) {
        const auto digit = kDigits.find(*it);
        if (digit == std::string_view::npos) {
            continue;
        }
        value += static_cast<uint32_t>(digit) * weight;  // wraps: only the last 8 digits count
        weight <<= 4;
    }
    return value;
}

Bytes EncodeWorkshopRows(const std::vector<TWorkshopRow>& rows) {
    Bytes body;
    for (const auto& row : rows) {
        AppendParameter(body, static_cast<uint8_t>(HexTextValue(row.TypeText) & 0xFF),
                        row.ValueText, row.ValueText.size());
    }
    return FrameMessage(cid::TypeMdmf, body);
}

Bytes BuildCidMessage(const TCidRequest& request, const TFilterOptions& options) {
    if (request.Workshop) {
        return EncodeWorkshopRows(request.Rows);
    }
    switch (request.Kind) {
        case TMessageKind::VmwiOn:
            return Bytes(kVmwiOn);
        case TMessageKind::VmwiOff:
            return Bytes(kVmwiOff);
        case TMessageKind::Test:
            return FrameMessage(cid::TypeTest, kTestBody);
        case TMessageKind::Sdmf:
        case TMessageKind::Mdmf:
            break;
    }

    // The date/time goes through the name filter, so "alphanumerics only" also
    // drops punctuation typed there.
    Bytes dateTime = FilterName(request.DateText + request.TimeText, options);
    if (dateTime.size() > cid::DateTimeLength) {
        dateTime.resize(cid::DateTimeLength);
    }
    Bytes number = FilterDigits(request.NumberText, options);
    Bytes name =
        request.Kind == TMessageKind::Sdmf ? Bytes() : FilterName(request.NameText, options);
    if (options.ForceUppercaseName) {
        name = UpperCaseAscii(name);
    }
    if (request.Private) {
        number = name = "P";
    }
    if (request.OutOfArea) {
        number = name = "O";
    }

    if (request.Kind == TMessageKind::Sdmf) {
        if (request.LongDistance) {
            number = "L";
        }
        return FrameMessage(cid::TypeSdmf, dateTime + number);
    }

    const bool withheld = request.Private || request.OutOfArea;
    Bytes body;
    // The date/time length byte is always 8, even when fewer characters follow.
    AppendParameter(body, cid::ParamDateTime, dateTime, cid::DateTimeLength);
    if (!request.NumberDisabled) {
        AppendParameter(body, withheld ? cid::ParamNumberNotSent : cid::ParamCallingNumber, number,
                        number.size());
    }
    if (!request.NameDisabled) {
        AppendParameter(body, withheld ? cid::ParamNameNotSent : cid::ParamCallingName, name,
                        name.size());
    }
    if (request.LongDistance) {
        AppendParameter(body, cid::ParamCallQualifier, "L", 1);
    }
    return FrameMessage(cid::TypeMdmf, body);
}

}  // namespace ringlark
