#pragma once

// Messages and alert tones as the command line prints them: one text line, or
// one JSON object, each.
#include <nlohmann/json.hpp>
#include <string>

#include "decoding/StreamDecoder.h"
#include "decoding/tones/DtmfDecoder.h"

namespace ringlark::cli {

// "1.234s CORR q=0.97 80 1E ... | Date: ...", or for an uncertain message
// "1.234s CORR q=0.40 UNCERTAIN 80 ... | or 80 ...".
std::string MessageLine(const TCorrMessage& message);
// seconds, tag, bytes, fields, quality, uncertain (and alternative).
nlohmann::json MessageJson(const TCorrMessage& message);

// "0.200s DTMF A0123456789C | Calling Number: 0123456789".
std::string DtmfLine(const TDtmfMessage& message);
// seconds, tag "DTMF", digits, fields, uncertain (false).
nlohmann::json DtmfJson(const TDtmfMessage& message);

// "0.300s CAS 100.0 ms 2130.0 Hz -6.2 dBFS + 2750.0 Hz -6.2 dBFS",
// "0.000s SAS 300.0 ms 440.0 Hz -6.2 dBFS"; a message as MessageLine.
std::string EventLine(const TStreamEvent& event);
// {"event": "message" | "cas" | "sas", ...}
nlohmann::json EventJson(const TStreamEvent& event);

// The sound input lost samples before `seconds` (it was not read in time):
// "input lost at 12.340s (2 times so far)" for stderr, and
// {"event": "input_lost", "seconds": 12.34, "times": 2}.
std::string InputLostLine(int times, double seconds);
nlohmann::json InputLostJson(int times, double seconds);

}  // namespace ringlark::cli
