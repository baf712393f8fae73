#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "protocol/Standards.h"

// What Ringlark knows about the structure of a caller-ID message, in one place:
// the decoders accept a message only when every rule holds, and the inspector
// names the same fixed lengths and value codes in its notes.
//
// A decoder that tries several readings of a noisy signal gets one draw against
// the 8-bit checksum per reading; the rules here make each draw far harder to
// win by chance (a digit whose bit 7 flipped, a length byte read as 0x28, a
// name holding control bytes), so that trying alternatives stays safe.
namespace ringlark {

struct TMessageCheck {
    bool Passed = false;
    std::string Reason;  // the first rule broken, empty when passed
};

// Type, length, checksum, at least one parameter, the parameters' lengths
// adding up exactly to the message length, and each known parameter's content
// fitting its type.
// Unknown parameter codes are allowed when their lengths are consistent.
// With an ETSI or BT standard the ETSI message types (0x80 call set-up, 0x82
// message waiting, 0x86 advice of charge, 0x89 short message) and parameter
// codes apply instead; SDMF and the test message are Bell 202 only.
TMessageCheck CheckMessage(std::string_view message, TCidStandard standard = TCidStandard::Bell202);

// How much less likely a message is, before any signal is heard, than a
// typical one, as a natural log of the odds (0: typical): it carries only
// what the rules allow but real messages hardly ever hold. A decoder that
// weighs two readings of one signal adds this to what each reading's bits
// cost, so that a reading which needs an unknown parameter code or a byte
// above 0x7F does not count as nearly as likely as one that differs by a digit.
double MessagePriorCost(std::string_view message, TCidStandard standard = TCidStandard::Bell202);

// The message types a standard sends.
bool IsKnownMessageTypeOf(uint8_t type, TCidStandard standard);

// The value length a parameter code must have; 0 where any length is allowed.
unsigned ParameterFixedLength(uint8_t code);

// "O" (out of area, unavailable) or "P" (private): the documented reasons why a
// number or a name is absent.
bool IsAbsenceCode(uint8_t value);
// The visual message-waiting indicator: 0x00 off, 0xFF on.
bool IsVmwiValue(uint8_t value);
// Eight ASCII digits forming a month (01-12), day (01-31), hour (00-23) and
// minute (00-59).
bool IsValidDateTime(std::string_view text);

}  // namespace ringlark
