#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ringlark {

// Byte strings (messages, texts typed by the user, sample data) are std::string
// used as bytes: one char per byte, never re-encoded. Conversion to UTF-8 happens
// only where a text meets a widget or a terminal (see Cp1252.h).
using Bytes = std::string;

inline uint8_t ByteAt(std::string_view bytes, std::size_t index) {
    return static_cast<uint8_t>(bytes[index]);
}

// Little-endian numbers inside byte strings (WAV headers).
inline uint32_t ReadLe32(std::string_view bytes, std::size_t offset) {
    uint32_t value = 0;
    for (std::size_t i = 4; i-- > 0;) {
        value = (value << 8) | ByteAt(bytes, offset + i);
    }
    return value;
}
inline uint16_t ReadLe16(std::string_view bytes, std::size_t offset) {
    return static_cast<uint16_t>(ByteAt(bytes, offset) | ByteAt(bytes, offset + 1) << 8);
}
inline void WriteLe32(Bytes& bytes, std::size_t offset, uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}
inline void WriteLe16(Bytes& bytes, std::size_t offset, uint16_t value) {
    bytes[offset] = static_cast<char>(value & 0xFF);
    bytes[offset + 1] = static_cast<char>(value >> 8);
}

// The value of a hexadecimal digit of either case; -1 for any other character.
inline int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

}  // namespace ringlark
