#include "protocol/DtmfCallerId.h"

#include <algorithm>

namespace ringlark {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The digits from `at` on, up to the next character that is not one.
std::string DigitsFrom(std::string_view text, std::size_t& at) {
    std::string digits;
    while (at < text.size() && IsDigit(text[at])) {
        digits += text[at++];
    }
    return digits;
}

std::string AbsenceOfCode(const std::string& code, const TDtmfAbsenceCodes& codes) {
    if (code == codes.Private) {
        return "Private";
    }
    if (code == codes.Unavailable) {
        return "Unavailable";
    }
    return "Code " + code;
}

}  // namespace

TDtmfCallerId ParseDtmfDigits(std::string_view digits, const TDtmfAbsenceCodes& codes) {
    TDtmfCallerId id;
    if (digits.empty()) {
        return id;
    }
    const char end = digits.back();
    id.Complete = end == 'C' || end == '#';
    const std::string_view body = id.Complete ? digits.substr(0, digits.size() - 1) : digits;
    // D1#, D2#, D3#: the number is absent
    if (end == '#' && body.size() == 2 && body[0] == 'D' && body[1] >= '1' && body[1] <= '3') {
        id.Absence = body[1] == '1' ? "Private" : body[1] == '2' ? "International" : "Unavailable";
        id.Valid = true;
        return id;
    }
    std::size_t at = 0;
    bool shaped = true;
    if (!body.empty() && IsDigit(body[0])) {
        id.Number = DigitsFrom(body, at);  // no start character: ends with #
        shaped = end == '#';
    }
    while (at < body.size() && shaped) {
        const char c = body[at++];
        if (c == 'A' || (c == 'D' && at == 1)) {
            id.Number = DigitsFrom(body, at);  // D first: the number itself (D<number>C)
        } else if (c == 'D') {
            id.Redirecting = DigitsFrom(body, at);
        } else if (c == 'B') {
            const std::string code = DigitsFrom(body, at);
            shaped = code.size() == 2;
            id.Absence = AbsenceOfCode(code, codes);
        } else {
            shaped = false;
        }
    }
    id.Valid = shaped && id.Complete && (!id.Number.empty() || !id.Absence.empty());
    return id;
}

std::vector<std::string> DtmfFields(std::string_view digits, const TDtmfAbsenceCodes& codes) {
    const TDtmfCallerId id = ParseDtmfDigits(digits, codes);
    std::vector<std::string> fields;
    if (!id.Number.empty()) {
        fields.push_back("Calling Number: " + id.Number);
    }
    if (!id.Redirecting.empty()) {
        fields.push_back("Redirecting Number: " + id.Redirecting);
    }
    if (!id.Absence.empty()) {
        fields.push_back("Reason for Absence: " + id.Absence);
    }
    return fields;
}

std::string DtmfFieldsText(std::string_view digits, const TDtmfAbsenceCodes& codes) {
    std::string text;
    for (const auto& field : DtmfFields(digits, codes)) {
        text += (text.empty() ? "" : "; ") + field;
    }
    return text;
}

}  // namespace ringlark
