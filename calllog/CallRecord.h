#pragma once

// One row of the call log: a message or alert tone heard on a line, what it
// said and how well it was read.
#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "core/Bytes.h"
#include "decoding/StreamDecoder.h"

namespace ringlark {

struct TCallRecord {
    int64_t Id = 0;           // given by the log
    std::string HeardUtc;     // "2026-12-07T18:58:44.123Z"
    std::string Input;        // the device's or the file's name
    double Offset = 0;        // seconds from the start of the input
    std::string Standard;     // "bell202", "etsi" (V.23), "dtmf"; empty for a tone
    std::string Kind;         // "SDMF", "MDMF", "call waiting", "VMWI", "DTMF", "CAS", "SAS"...
    std::string Number;       // the calling number as sent
    std::string Name;         // the calling name as sent (UTF-8)
    std::string MessageTime;  // the message's own "MM-DD HH:MM"
    std::string NumberAbsent, NameAbsent;  // "private", "unavailable", ... when not sent
    std::string Checksum;                  // "ok", "failed", "none" (DTMF, tones)
    std::optional<double> Quality;
    bool Uncertain = false;
    Bytes Raw;            // the message's bytes, or DTMF digits as text
    std::string Details;  // the rest: other values, a tone's measurements
    std::string Contact;  // the phone book's name for the number, if any
    // Why a message read whole was refused (a checksum or a rule of its
    // structure failed); empty for one that was accepted. Its fields are
    // what was read.
    std::string Refused;
};

// UTC ISO 8601 with milliseconds, and back; Local: "2026-12-07 19:58:44.123"
// in the local time zone.
std::string UtcText(std::chrono::system_clock::time_point when);
std::optional<std::chrono::system_clock::time_point> ParseUtcText(const std::string& text);
std::string LocalText(const std::string& utc);

// The fields of a message's bytes (number, name, date/time, reasons for
// absence, the kind by its type, the checksum).
void PutMessageFields(TCallRecord& record, std::string_view message);

// A row's bytes as the log lists them: hex ("80 20 01 ..."), DTMF its digits.
std::string CallBytesText(const TCallRecord& record);
// The rows as CSV (RFC 4180, CRLF), with a header: what `log --csv` prints and
// the Call Log window exports.
std::string CallsCsv(const std::vector<TCallRecord>& rows);

// Turns the events of one input into rows. A message after a subscriber alert
// (and, in Bell 202, after a dual-tone alert) within a second and a half is
// a call-waiting one.
class TCallRecorder {
  public:
    // start: the wall-clock time of the input's first sample.
    TCallRecorder(std::string input, std::chrono::system_clock::time_point start);
    TCallRecord Record(const TStreamEvent& event);

  private:
    std::string input_;
    std::chrono::system_clock::time_point start_;
    double lastSas_ = -1e9, lastCas_ = -1e9;
};

}  // namespace ringlark
