#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/Bytes.h"

namespace ringlark {

enum class TMessageKind : int { Sdmf = 1, Mdmf = 2, VmwiOn = 3, VmwiOff = 4, Test = 5 };
enum class TSignalling { OnHook, CallWaiting };

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

// Message types and MDMF parameter codes, shared by the builder, the inspector
// and the workshop's parameter dialog.
namespace cid {
inline constexpr uint8_t TypeSdmf = 0x04;
inline constexpr uint8_t TypeMdmf = 0x80;
inline constexpr uint8_t TypeTest = 0x81;
inline constexpr uint8_t TypeVmwi = 0x82;

inline constexpr uint8_t ParamDateTime = 0x01;
inline constexpr uint8_t ParamCallingNumber = 0x02;
inline constexpr uint8_t ParamDialableNumber = 0x03;
inline constexpr uint8_t ParamNumberNotSent = 0x04;
inline constexpr uint8_t ParamCallQualifier = 0x06;
inline constexpr uint8_t ParamCallingName = 0x07;
inline constexpr uint8_t ParamNameNotSent = 0x08;
inline constexpr uint8_t ParamCallType = 0x09;
inline constexpr uint8_t ParamVmwi = 0x0B;

inline constexpr std::size_t DateTimeLength = 8;
}  // namespace cid

struct TMessageTypeInfo {
    uint8_t Type;
    std::string_view Name;
};
struct TParameterInfo {
    uint8_t Code;
    std::string_view Name;
};

std::span<const TMessageTypeInfo> MessageTypes();
std::span<const TParameterInfo> ParameterCodes();
std::optional<TParameterInfo> FindParameter(uint8_t code);
bool IsKnownMessageType(uint8_t type);

uint8_t CidChecksum(std::string_view bytes);
Bytes FilterDigits(std::string_view text, const TFilterOptions& options);
Bytes FilterName(std::string_view text, const TFilterOptions& options);
Bytes UpperCaseAscii(std::string_view text);
uint32_t HexTextValue(std::string_view text);
Bytes PrintableText(std::string_view message);

// Frames type, length (body size modulo 256), body and checksum.
Bytes FrameMessage(uint8_t type, std::string_view body);

// A message whose body is longer than 255 bytes keeps only the low byte of its
// length in its length byte (and a parameter longer than 255 bytes likewise):
// the text that says so, or nothing when every length fits.
std::optional<std::string> LengthWrapNotice(std::string_view message);

Bytes EncodeWorkshopRows(const std::vector<TWorkshopRow>& rows);
Bytes BuildCidMessage(const TCidRequest& request, const TFilterOptions& options);

}  // namespace ringlark
