#pragma once

// DTMF caller ID read from its digits. The framing differs by network; it is
// told by the first and last characters:
//   A<number>[D<redirecting number>][B<code>]C   most networks that use DTMF
//   A<number>#, D1# private, D2# international, D3# unavailable
//   D<number>C                                    (the Netherlands, Taiwan...)
//   <number>#                                     no start character
// B is followed by a two-digit code for an absent number; which code means
// private differs between sources, so the codes are a setting.
#include <string>
#include <string_view>
#include <vector>

#include "protocol/Standards.h"

namespace ringlark {

struct TDtmfCallerId {
    std::string Number;
    std::string Redirecting;
    std::string Absence;    // "Private", "Unavailable", "International", "Code NN"
    bool Complete = false;  // it ended with C or #
    bool Valid = false;     // it has the shape of one of the framings
};

TDtmfCallerId ParseDtmfDigits(std::string_view digits, const TDtmfAbsenceCodes& codes = {});

// "Calling Number: 0123456789", "Redirecting Number: ...", "Reason for
// Absence: Private", one per value.
std::vector<std::string> DtmfFields(std::string_view digits, const TDtmfAbsenceCodes& codes = {});
// The same joined by "; ".
std::string DtmfFieldsText(std::string_view digits, const TDtmfAbsenceCodes& codes = {});

}  // namespace ringlark
