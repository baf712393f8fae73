#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "core/Bytes.h"
#include "protocol/Standards.h"

namespace ringlark {

inline constexpr std::array<std::string_view, 6> InspectorTitles = {
    "Byte", "Hex", "Decimal", "Binary (LSB Left)", "ASCII", "Notes"};

// One row per message byte. Cells are single-byte texts (the ASCII cell and notes
// may hold bytes above 127).
struct TInspectorRow {
    std::array<Bytes, 6> Cells;
    // True when the note tells a value the message carries (a date, a number,
    // a name, a status) rather than its structure (type, lengths, checksum).
    bool Field = false;
    const Bytes& Notes() const { return Cells[5]; }
    bool operator==(const TInspectorRow&) const = default;
};

struct TInspectorTable {
    Bytes RawStream;
    std::vector<TInspectorRow> Rows;  // row i describes byte i + 1
    bool operator==(const TInspectorTable&) const = default;
};

Bytes BinaryLsbLeft(uint8_t byte);

// Explains a framed caller-ID message byte by byte. Never fails: anomalies become
// notes, and input shorter than its declared structure is never read past its end.
TInspectorTable BuildInspector(std::string_view message);
// The same with a standard's message types and parameter codes (ETSI and BT
// differ from Bell 202; Bell 202 and DTMF take the form above).
TInspectorTable BuildInspector(std::string_view message, TCidStandard standard);

// The notes of the rows that tell the message's values, in order.
std::vector<Bytes> InspectorFields(const TInspectorTable& table);

}  // namespace ringlark

namespace ringlark {

// The inspector window's table before anything has been inspected (99 empty
// byte rows), before an inspect-only generation (199) and after the analyst's
// "Clear" (199, the raw stream kept).
inline constexpr int InitialInspectorRows = 99;
inline constexpr int PreparedInspectorRows = 199;
void EmptyInspectorRows(TInspectorTable& table, int byteRows);

}  // namespace ringlark
