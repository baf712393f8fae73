#include "protocol/MessageFormat.h"

#include <algorithm>
#include <array>

namespace ringlark {

namespace {

constexpr std::array<TMessageTypeInfo, 4> kMessageTypes = {{
    {cid::TypeSdmf, "SDMF"},
    {cid::TypeMdmf, "MDMF"},
    {cid::TypeTest, "Test"},
    {cid::TypeVmwi, "VMWI"},
}};

constexpr std::array<TParameterInfo, 9> kParameters = {{
    {cid::ParamDateTime, "Date/Time"},
    {cid::ParamCallingNumber, "Calling Number"},
    {cid::ParamDialableNumber, "Dialable Directory Number"},
    {cid::ParamNumberNotSent, "Number Blocked"},
    {cid::ParamCallQualifier, "Call Qualifier"},
    {cid::ParamCallingName, "Calling Name"},
    {cid::ParamNameNotSent, "Calling Name Blocked"},
    {cid::ParamCallType, "Call Type"},
    {cid::ParamVmwi, "Visual Message Waiting Indicator"},
}};

}  // namespace

std::span<const TMessageTypeInfo> MessageTypes() {
    return kMessageTypes;
}
std::span<const TParameterInfo> ParameterCodes() {
    return kParameters;
}

std::optional<TParameterInfo> FindParameter(uint8_t code) {
    for (const auto& info : kParameters) {
        if (info.Code == code) {
            return info;
        }
    }
    return std::nullopt;
}

bool IsKnownMessageType(uint8_t type) {
    return std::any_of(kMessageTypes.begin(), kMessageTypes.end(),
                       [type](const TMessageTypeInfo& info) { return info.Type == type; });
}

uint8_t CidChecksum(std::string_view bytes) {
    unsigned sum = 0;
    for (char c : bytes) {
        sum += static_cast<uint8_t>(c);
    }
    return static_cast<uint8_t>((256 - (sum & 0xFF)) & 0xFF);
}

Bytes PrintableText(std::string_view message) {
    Bytes out(message);
    for (char& c : out) {
        if (static_cast<uint8_t>(c) < 32) {
            c = '.';
        }
    }
    return out;
}

Bytes FrameMessage(uint8_t type, std::string_view body) {
    Bytes message;
    message.reserve(body.size() + 3);
    message += static_cast<char>(type);
    message += static_cast<char>(body.size() & 0xFF);
    message += body;
    message += static_cast<char>(CidChecksum(message));
    return message;
}

std::optional<std::string> LengthWrapNotice(std::string_view message) {
    if (message.size() < 3 || message.size() - 3 <= 255) {
        return std::nullopt;
    }
    const std::size_t body = message.size() - 3;
    return "The message body is " + std::to_string(body) + " bytes long; its length byte holds " +
           std::to_string(body % 256);
}

}  // namespace ringlark
