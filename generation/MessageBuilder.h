#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/Bytes.h"
#include "protocol/MessageFormat.h"

namespace ringlark {

enum class TMessageKind : int { Sdmf = 1, Mdmf = 2, VmwiOn = 3, VmwiOff = 4, Test = 5 };

// One row of the workshop: a parameter code text ("$" and hex digits) and the
// parameter's value, sent byte for byte.
struct TWorkshopRow {
    std::string TypeText;
    Bytes ValueText;
    bool operator==(const TWorkshopRow&) const = default;
};

// What one generation reads from the current tab. Texts are exactly as typed.
struct TCidRequest {
    TMessageKind Kind = TMessageKind::Mdmf;
    bool Workshop = false;
    Bytes NumberText;
    Bytes NameText;
    Bytes DateText;
    Bytes TimeText;
    bool OutOfArea = false;
    bool Private = false;
    bool LongDistance = false;
    bool NumberDisabled = false;
    bool NameDisabled = false;
    std::vector<TWorkshopRow> Rows;
    TSignalling Signalling = TSignalling::OnHook;
};

// The three character-filter check boxes of the options dialog.
struct TFilterOptions {
    bool NoFiltering = false;
    bool AlphaOnly = false;
    bool ForceUppercaseName = true;
};

Bytes FilterDigits(std::string_view text, const TFilterOptions& options);
Bytes FilterName(std::string_view text, const TFilterOptions& options);
Bytes UpperCaseAscii(std::string_view text);
uint32_t HexTextValue(std::string_view text);

// A name as every decoder accepts it: printable ASCII (protocol/MessageRules.h).
// An accented letter becomes its base letter ("Jos\xE9" -> "Jose", "\xDF" ->
// "ss"), a typographic quote, dash or no-break space its ASCII form. A byte
// with no such form (a control character, the euro sign) is Refused; Text is
// then what came before it.
struct TAsciiName {
    Bytes Text;
    std::optional<uint8_t> Refused;
};
TAsciiName AsciiName(std::string_view cp1252);

Bytes EncodeWorkshopRows(const std::vector<TWorkshopRow>& rows);
Bytes BuildCidMessage(const TCidRequest& request, const TFilterOptions& options);

}  // namespace ringlark
