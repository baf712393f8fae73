#pragma once

#include <cstdint>
#include <string>

namespace ringlark {

// Byte strings (messages, texts typed by the user, sample data) are std::string
// used as bytes: one char per byte, never re-encoded. Conversion to UTF-8 happens
// only where a text meets a widget or a terminal (see Cp1252.h).
using Bytes = std::string;

inline uint8_t ByteAt(const Bytes& bytes, std::size_t index) {
    return static_cast<uint8_t>(bytes[index]);
}

}  // namespace ringlark
