#pragma once
// The caller-ID message itself, as every part of Ringlark reads and writes it:
// how it is sent (on-hook or during a call), its types and parameter codes,
// its framing and its checksum.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/Bytes.h"

namespace ringlark {

enum class TSignalling { OnHook, CallWaiting };

// Message types and MDMF parameter codes, shared by the builder, the decoders,
// the inspector and the workshop's parameter dialog.
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

// The two's complement of the sum of the bytes, modulo 256: the message's bytes
// and its checksum add up to zero.
uint8_t CidChecksum(std::string_view bytes);

// The message with control bytes shown as ".".
Bytes PrintableText(std::string_view message);

// Frames type, length (body size modulo 256), body and checksum.
Bytes FrameMessage(uint8_t type, std::string_view body);

// A message whose body is longer than 255 bytes keeps only the low byte of its
// length in its length byte (and a parameter longer than 255 bytes likewise):
// the text that says so, or nothing when every length fits.
std::optional<std::string> LengthWrapNotice(std::string_view message);

}  // namespace ringlark
