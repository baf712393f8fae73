#include "inspection/Inspector.h"

#include <array>

#include <cstdio>

#include "protocol/DtmfCallerId.h"
#include "protocol/MessageFormat.h"
#include "protocol/MessageRules.h"

namespace ringlark {

namespace {

std::string Hex2(uint8_t value) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", value);
    return text;
}

std::string Dec(unsigned value) {
    return std::to_string(value);
}

// Writes notes onto the rows of a table; rows are numbered from 1 and a note for a
// row beyond the message is dropped. A later note replaces an earlier one.
class TNoteWriter {
  public:
    TNoteWriter(std::string_view message, TInspectorTable& table) : m_(message), table_(table) {}

    std::size_t N() const { return m_.size(); }
    bool Has(std::size_t position) const { return position >= 1 && position <= m_.size(); }
    uint8_t At(std::size_t position) const { return static_cast<uint8_t>(m_[position - 1]); }

    // count bytes from position on, cut at the end of the message
    Bytes Chars(std::size_t position, std::size_t count) const {
        if (position < 1 || position > m_.size()) {
            return {};
        }
        return Bytes(m_.substr(position - 1, count));
    }

    void Note(std::size_t row, Bytes text, bool field = false) {
        if (Has(row)) {
            table_.Rows[row - 1].Cells[5] = std::move(text);
            table_.Rows[row - 1].Field = field;
        }
    }
    void Field(std::size_t row, Bytes text) { Note(row, std::move(text), true); }
    void AppendToNote(std::size_t row, std::string_view text) {
        if (Has(row)) {
            table_.Rows[row - 1].Cells[5] += text;
        }
    }

  private:
    std::string_view m_;
    TInspectorTable& table_;
};

void DateNotes(TNoteWriter& w, std::size_t dateRow) {
    w.Field(dateRow, "Date: " + w.Chars(dateRow, 2) + "/" + w.Chars(dateRow + 2, 2));
    w.Field(dateRow + 4, "Time: " + w.Chars(dateRow + 4, 2) + ":" + w.Chars(dateRow + 6, 2));
}

void FrameNotes(TNoteWriter& w, unsigned length) {
    w.Note(2, "Message Length: " + Dec(length) + " bytes");
    const std::size_t checksumRow = length + 3;
    if (w.Has(checksumRow)) {
        const bool passed = CidChecksum(w.Chars(1, length + 2)) == w.At(checksumRow);
        w.Note(checksumRow, passed ? "Checksum (Passed)" : "Checksum (Failed)");
    }
}

void SdmfNotes(TNoteWriter& w) {
    DateNotes(w, 3);
    if (w.Has(11)) {
        // The number runs to the byte before the last one present, whatever the
        // length byte says; at most 255 bytes are taken before that one is dropped.
        Bytes number = w.Chars(11, 255);
        number.pop_back();
        w.Field(11, "Number: " + number);
    }
}

Bytes BlockReason(uint8_t value, std::string_view what, std::string_view invalid) {
    if (value == 'O') {
        return "Reason for " + Bytes(what) + " Block: Out of Area";
    }
    if (value == 'P') {
        return "Reason for " + Bytes(what) + " Block: Private";
    }
    return Bytes(invalid);
}

Bytes VmwiStatus(uint8_t value) {
    if (!IsVmwiValue(value)) {
        return "VMWI Status: Invalid";
    }
    return value == 0xFF ? "VMWI Status: On" : "VMWI Status: Off";
}

Bytes CallType(uint8_t value) {
    switch (value) {
        case 0x01:
            return "Call Type: Voice";
        case 0x02:
            return "Call Type: Ring-Back-When-Free";
        case 0x81:
            return "Call Type: Message Waiting";
        default:
            return "Call Type: Undetermined (Invalid)";
    }
}

void ParameterWalk(TNoteWriter& w, unsigned length) {
    std::size_t p = 3;
    while (p <= length && w.Has(p)) {
        const uint8_t code = w.At(p);
        const auto known = FindParameter(code);
        w.Note(p, "MDMF Parameter $" + Hex2(code) + ": " +
                      (known ? Bytes(known->Name) : Bytes("Unknown")));
        if (!w.Has(p + 1)) {
            return;  // nothing beyond the end of the message can get a note
        }
        const unsigned n = w.At(p + 1);
        w.Note(p + 1, "Parameter Length: " + Dec(n) + " bytes");
        const unsigned fixed = ParameterFixedLength(code);
        if (fixed != 0 && n != fixed) {
            w.AppendToNote(p + 1, " (Invalid Length)");
        }
        const std::size_t v = p + 2;
        const Bytes value = w.Chars(v, n);
        const uint8_t first = w.Has(v) ? w.At(v) : 0;
        switch (code) {
            case cid::ParamDateTime:
                DateNotes(w, v);
                break;
            case cid::ParamCallingNumber:
                w.Field(v, "Calling Number: " + value);
                break;
            case cid::ParamDialableNumber:
                w.Field(v, "DDN: " + value);
                break;
            case cid::ParamNumberNotSent:
                w.Field(v, BlockReason(first, "Number",
                                       "Reason for Number Block Undetermined (Invalid)"));
                break;
            case cid::ParamCallQualifier:
                w.Field(v,
                        first == 'L' ? "Call Qualifier: Long Distance" : "Call Qualifier: Unknown");
                break;
            case cid::ParamCallingName:
                w.Field(v, "Calling Name: " + value);
                break;
            case cid::ParamNameNotSent:
                w.Field(v, BlockReason(first, "Calling Name",
                                       "Reason for Name Block Undetermined (Invalid)"));
                break;
            case cid::ParamCallType:
                w.Field(v, CallType(first));
                break;
            case cid::ParamVmwi:
                w.Field(v, VmwiStatus(first));
                break;
            default:
                w.Field(v, "Message Content: " + value);
                break;
        }
        p += n + 2;
    }
}

void VmwiNotes(TNoteWriter& w) {
    if (w.Has(3)) {
        w.Note(3, w.At(3) == cid::ParamVmwi ? "Parameter type $0B: Visual Message Waiting Indicator"
                                            : "Unknown Parameter Type");
    }
    if (w.Has(4)) {
        w.Note(4, "Parameter Length: " + Dec(w.At(4)) + " bytes");
    }
    if (w.Has(5)) {
        w.Field(5, VmwiStatus(w.At(5)));
    }
}

// ETSI EN 300 659-3 parameters (BT uses the same codes).
constexpr std::array<std::pair<uint8_t, std::string_view>, 20> kEtsiParameters = {{
    {0x01, "Date and Time"},
    {0x02, "Calling Line Identity"},
    {0x03, "Called Line Identity"},
    {0x04, "Reason for Absence of CLI"},
    {0x07, "Calling Party Name"},
    {0x08, "Reason for Absence of Name"},
    {0x0B, "Visual Indicator"},
    {0x0D, "Message Identification"},
    {0x10, "Complementary CLI"},
    {0x11, "Call Type"},
    {0x13, "Number of Messages"},
    {0x15, "Type of Forwarded Call"},
    {0x16, "Type of Calling User"},
    {0x1A, "Redirecting Number"},
    {0x20, "Charge"},
    {0x21, "Additional Charge"},
    {0x23, "Call Duration"},
    {0x50, "Display Information"},
    {0x55, "Service Information"},
    {0xE0, "Network Operator Extension"},
}};

Bytes EtsiAbsence(std::string_view what, uint8_t value) {
    const Bytes head = "Reason for Absence of " + Bytes(what) + ": ";
    return head + (value == 'P'   ? "Private"
                   : value == 'O' ? "Unavailable"
                                  : "Undetermined (Invalid)");
}

Bytes EtsiCallType(uint8_t value) {
    switch (value) {
        case 0x00:
        case 0x01:
            return "Call Type: Voice";
        case 0x02:
            return "Call Type: Ring-Back-When-Free";
        case 0x03:
            return "Call Type: Calling Name Delivery";
        case 0x81:
            return "Call Type: Message Waiting";
        default:
            return "Call Type: $" + Hex2(value);
    }
}

void EtsiParameterWalk(TNoteWriter& w, unsigned length) {
    std::size_t p = 3;
    while (p <= length && w.Has(p)) {
        const uint8_t code = w.At(p);
        Bytes name = "Unknown";
        for (const auto& [c, n] : kEtsiParameters) {
            if (c == code) {
                name = Bytes(n);
            }
        }
        w.Note(p, "Parameter $" + Hex2(code) + ": " + name);
        if (!w.Has(p + 1)) {
            return;
        }
        const unsigned n = w.At(p + 1);
        w.Note(p + 1, "Parameter Length: " + Dec(n) + " bytes");
        const std::size_t v = p + 2;
        const Bytes value = w.Chars(v, n);
        const uint8_t first = w.Has(v) ? w.At(v) : 0;
        switch (code) {
            case 0x01:
                DateNotes(w, v);
                break;
            case 0x02:
                w.Field(v, "Calling Number: " + value);
                break;
            case 0x03:
                w.Field(v, "Called Number: " + value);
                break;
            case 0x04:
                w.Field(v, EtsiAbsence("CLI", first));
                break;
            case 0x07:
                w.Field(v, "Calling Name: " + value);
                break;
            case 0x08:
                w.Field(v, EtsiAbsence("Name", first));
                break;
            case 0x0B:
                w.Field(v, first == 0xFF   ? Bytes("Visual Indicator: On")
                           : first == 0x00 ? Bytes("Visual Indicator: Off")
                                           : Bytes("Visual Indicator: Invalid"));
                break;
            case 0x11:
                w.Field(v, EtsiCallType(first));
                break;
            case 0x13:
                w.Field(v, "Messages Waiting: " + Dec(first));
                break;
            case 0x1A:
                w.Field(v, "Redirecting Number: " + value);
                break;
            default:
                w.Field(v, "Message Content: " + value);
                break;
        }
        p += n + 2;
    }
}

}  // namespace

Bytes BinaryLsbLeft(uint8_t byte) {
    Bytes bits(8, '0');
    for (int k = 0; k < 8; ++k) {
        if ((byte >> k) & 1) {
            bits[k] = '1';
        }
    }
    return bits;
}

namespace {

// The byte columns of every row, notes empty.
TInspectorTable ByteTable(std::string_view message) {
    TInspectorTable table;
    table.RawStream = PrintableText(message);
    table.Rows.resize(message.size());
    for (std::size_t i = 0; i < message.size(); ++i) {
        const auto b = static_cast<uint8_t>(message[i]);
        auto& cells = table.Rows[i].Cells;
        cells[0] = Dec(static_cast<unsigned>(i + 1));
        cells[1] = Hex2(b);
        cells[2] = b < 10 ? "0" + Dec(b) : Dec(b);
        cells[3] = BinaryLsbLeft(b);
        cells[4] = b >= 32 ? Bytes(1, static_cast<char>(b)) : Bytes(" ");
    }
    return table;
}

}  // namespace

namespace {

// DTMF caller ID: each character's role, and each value on the first
// character that carries it.
TInspectorTable DtmfInspector(std::string_view digits) {
    TInspectorTable table = ByteTable(digits);
    TNoteWriter w(digits, table);
    const TDtmfCallerId id = ParseDtmfDigits(digits);
    bool numberNoted = false;
    bool redirectNoted = false;
    bool absenceNoted = false;
    char field = digits.empty() || (digits[0] >= '0' && digits[0] <= '9') ? 'A' : 0;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        const char c = digits[i];
        const std::size_t row = i + 1;
        const bool last = i + 1 == digits.size();
        if (c >= '0' && c <= '9') {
            if (field == 'A' && !numberNoted && !id.Number.empty()) {
                w.Field(row, "Calling Number: " + Bytes(id.Number));
                numberNoted = true;
            } else if (field == 'D' && !redirectNoted && !id.Redirecting.empty()) {
                w.Field(row, "Redirecting Number: " + Bytes(id.Redirecting));
                redirectNoted = true;
            } else if ((field == 'B' || field == 'X') && !absenceNoted && !id.Absence.empty()) {
                w.Field(row, "Reason for Absence: " + Bytes(id.Absence));
                absenceNoted = true;
            }
        } else if (last && (c == 'C' || c == '#')) {
            w.Note(row, "End of Caller ID");
        } else if (c == 'A' || (c == 'D' && i == 0 && digits.back() == 'C')) {
            w.Note(row, "Start: Calling Number Follows");
            field = 'A';
        } else if (c == 'D' && i == 0) {
            w.Note(row, "Start: Reason for Absence Follows");
            field = 'X';
        } else if (c == 'D') {
            w.Note(row, "Redirecting Number Follows");
            field = 'D';
        } else if (c == 'B') {
            w.Note(row, "Reason for Absence Follows");
            field = 'B';
        } else {
            w.Note(row, "Not Part of a Caller ID");
        }
    }
    return table;
}

}  // namespace

TInspectorTable BuildInspector(std::string_view message, TCidStandard standard) {
    if (standard == TCidStandard::Dtmf) {
        return DtmfInspector(message);
    }
    if (standard != TCidStandard::EtsiV23 && standard != TCidStandard::Bt) {
        return BuildInspector(message);
    }
    TInspectorTable table = ByteTable(message);
    TNoteWriter w(message, table);
    if (!w.Has(1)) {
        return table;
    }
    const uint8_t type = w.At(1);
    const unsigned length = w.Has(2) ? w.At(2) : 0;
    const std::string_view names[] = {"Call Set-Up", "Message Waiting Indication",
                                      "Advice of Charge", "Short Message Service"};
    const int index = type == 0x80   ? 0
                      : type == 0x82 ? 1
                      : type == 0x86 ? 2
                      : type == 0x89 ? 3
                                     : -1;
    if (index < 0) {
        w.Note(1, "Unknown Message Type ($" + Hex2(type) + ")");
        return table;
    }
    w.Note(1, "Message Type $" + Hex2(type) + " - " + Bytes(names[index]));
    FrameNotes(w, length);
    EtsiParameterWalk(w, length);
    return table;
}

TInspectorTable BuildInspector(std::string_view message) {
    TInspectorTable table = ByteTable(message);
    TNoteWriter w(message, table);
    if (!w.Has(1)) {
        return table;
    }
    const uint8_t type = w.At(1);
    const unsigned length = w.Has(2) ? w.At(2) : 0;
    switch (type) {
        case cid::TypeSdmf:
            w.Note(1, "Message Type $04 - SDMF");
            FrameNotes(w, length);
            SdmfNotes(w);
            break;
        case cid::TypeMdmf:
            w.Note(1, "Message Type $80 - MDMF");
            FrameNotes(w, length);
            ParameterWalk(w, length);
            break;
        case cid::TypeTest:
            w.Note(1, "Message Type $81 - Test");
            FrameNotes(w, length);
            ParameterWalk(w, length);
            break;
        case cid::TypeVmwi:
            w.Note(1, "Message Type $82 - VMWI");
            FrameNotes(w, length);
            VmwiNotes(w);
            break;
        default:
            w.Note(1, "Unknown Message Type ($" + Hex2(type) + ")");
            break;
    }
    return table;
}

}  // namespace ringlark

namespace ringlark {

std::vector<Bytes> InspectorFields(const TInspectorTable& table) {
    std::vector<Bytes> fields;
    for (const auto& row : table.Rows) {
        if (row.Field && !row.Notes().empty()) {
            fields.push_back(row.Notes());
        }
    }
    return fields;
}

void EmptyInspectorRows(TInspectorTable& table, int byteRows) {
    table.Rows.assign(static_cast<std::size_t>(byteRows), TInspectorRow{});
}

}  // namespace ringlark
