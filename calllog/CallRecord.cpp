#include "calllog/CallRecord.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "calllog/PhoneBook.h"
#include "core/Cp1252.h"
#include "protocol/DtmfCallerId.h"
#include "protocol/MessageFormat.h"

namespace ringlark {

namespace {

using std::chrono::system_clock;

std::string Reason(uint8_t value) {
    return value == 'P' ? "private" : value == 'O' ? "unavailable" : "unknown";
}

// "MMDDHHMM" as "MM-DD HH:MM"; anything else as it was read.
std::string DateTimeText(std::string_view digits) {
    if (digits.size() != 8) {
        return ShownText(digits);
    }
    return std::string(digits.substr(0, 2)) + "-" + std::string(digits.substr(2, 2)) + " " +
           std::string(digits.substr(4, 2)) + ":" + std::string(digits.substr(6, 2));
}

void Append(std::string& text, const std::string& more) {
    text += text.empty() ? more : "; " + more;
}

std::string Hex2(uint8_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

std::string HexText(std::string_view bytes) {
    std::string text;
    for (char c : bytes) {
        char two[4];
        std::snprintf(two, sizeof two, "%02X", static_cast<uint8_t>(c));
        text += text.empty() ? two : std::string(" ") + two;
    }
    return text;
}

void PutParameters(TCallRecord& record, std::string_view body) {
    std::size_t at = 0;
    while (at + 2 <= body.size()) {
        const auto code = static_cast<uint8_t>(body[at]);
        const std::size_t length = static_cast<uint8_t>(body[at + 1]);
        const std::string_view value = body.substr(at + 2, length);
        at += 2 + length;
        const uint8_t first = value.empty() ? 0 : static_cast<uint8_t>(value[0]);
        switch (code) {
            case cid::ParamDateTime:
                record.MessageTime = DateTimeText(value);
                break;
            case cid::ParamCallingNumber:
                record.Number = ShownText(value);
                break;
            case cid::ParamNumberNotSent:
                record.NumberAbsent = Reason(first);
                break;
            case cid::ParamCallingName:
                record.Name = Cp1252ToUtf8(value);
                break;
            case cid::ParamNameNotSent:
                record.NameAbsent = Reason(first);
                break;
            case cid::ParamVmwi:
                Append(record.Details, std::string("message waiting: ") + (first == 0xFF ? "on"
                                                                           : first == 0  ? "off"
                                                                                         : "?"));
                break;
            default: {
                const auto info = FindParameter(code);
                Append(record.Details,
                       (info ? std::string(info->Name) : "parameter " + Hex2(code)) + ": " +
                           ShownText(value));
            }
        }
    }
}

}  // namespace

std::string UtcText(system_clock::time_point when) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch());
    auto seconds = static_cast<std::time_t>(ms.count() / 1000);
    auto millis = ms.count() % 1000;
    if (millis < 0) {
        millis += 1000;
        --seconds;
    }
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(millis));
    return text;
}

std::optional<system_clock::time_point> ParseUtcText(const std::string& text) {
    std::tm utc{};
    int millis = 0;
    int used = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3dZ%n", &utc.tm_year, &utc.tm_mon,
                    &utc.tm_mday, &utc.tm_hour, &utc.tm_min, &utc.tm_sec, &millis, &used) != 7 ||
        static_cast<std::size_t>(used) != text.size()) {
        return std::nullopt;
    }
    utc.tm_year -= 1900;
    utc.tm_mon -= 1;
    const std::time_t seconds = timegm(&utc);
    return system_clock::from_time_t(seconds) + std::chrono::milliseconds(millis);
}

std::string LocalText(const std::string& utc) {
    const auto when = ParseUtcText(utc);
    if (!when) {
        return utc;
    }
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(when->time_since_epoch()).count();
    const std::time_t seconds = system_clock::to_time_t(*when);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(((ms % 1000) + 1000) % 1000));
    return text;
}

void PutMessageFields(TCallRecord& record, std::string_view m) {
    unsigned sum = 0;
    for (char c : m) {
        sum += static_cast<uint8_t>(c);
    }
    record.Checksum = m.size() >= 3 && sum % 256 == 0 ? "ok" : "failed";
    if (m.size() < 2) {
        record.Kind = "message";
        return;
    }
    const auto type = static_cast<uint8_t>(m[0]);
    const std::string_view body =
        m.substr(2, std::min<std::size_t>(static_cast<uint8_t>(m[1]), m.size() - 2));
    switch (type) {
        case cid::TypeSdmf:
            record.Kind = "SDMF";
            record.MessageTime =
                DateTimeText(body.substr(0, std::min<std::size_t>(8, body.size())));
            if (body.size() == 9 && (body[8] == 'O' || body[8] == 'P')) {
                record.NumberAbsent = Reason(static_cast<uint8_t>(body[8]));
            } else if (body.size() > 8) {
                record.Number = ShownText(body.substr(8));
            }
            return;
        case 0x06:  // SDMF message waiting
            record.Kind = "VMWI";
            Append(record.Details, std::string("message waiting: ") +
                                       (!body.empty() && body[0] == 'B' ? "on" : "off"));
            return;
        case cid::TypeMdmf:
            record.Kind = "MDMF";
            break;
        case cid::TypeVmwi:
            record.Kind = "VMWI";
            break;
        case cid::TypeTest:
            record.Kind = "test";
            break;
        default:
            record.Kind = "message " + Hex2(type);
    }
    PutParameters(record, body);
}

TCallRecorder::TCallRecorder(std::string input, system_clock::time_point start)
    : input_(std::move(input)), start_(start) {}

TCallRecord TCallRecorder::Record(const TStreamEvent& event) {
    TCallRecord r;
    r.Input = input_;
    r.Offset = event.Seconds();
    r.HeardUtc = UtcText(start_ + std::chrono::duration_cast<system_clock::duration>(
                                      std::chrono::duration<double>(r.Offset)));
    switch (event.Kind) {
        case TStreamEvent::TKind::DualTone:
        case TStreamEvent::TKind::Subscriber: {
            const TAlertTone& t = event.Tone;
            const bool dual = event.Kind == TStreamEvent::TKind::DualTone;
            (dual ? lastCas_ : lastSas_) = t.Seconds + t.Duration;
            r.Kind = dual ? "CAS" : "SAS";
            r.Checksum = "none";
            char text[160];
            if (dual) {
                std::snprintf(text, sizeof text, "%.1f ms, %.1f Hz %.1f dBFS + %.1f Hz %.1f dBFS",
                              t.Duration * 1000, t.LowHz, t.LowDbfs, t.HighHz, t.HighDbfs);
            } else {
                std::snprintf(text, sizeof text, "%.1f ms, %.1f Hz %.1f dBFS", t.Duration * 1000,
                              t.LowHz, t.LowDbfs);
            }
            r.Details = text;
            return r;
        }
        case TStreamEvent::TKind::Dtmf: {
            r.Standard = "dtmf";
            r.Kind = "DTMF";
            r.Checksum = "none";
            r.Raw = event.Dtmf.Digits;
            const TDtmfCallerId id = ParseDtmfDigits(event.Dtmf.Digits);
            r.Number = id.Number;
            r.NumberAbsent = id.Absence.empty() ? "" : std::string(id.Absence);
            for (char& c : r.NumberAbsent) {
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
            if (!id.Redirecting.empty()) {
                r.Details = "redirecting number: " + id.Redirecting;
            }
            return r;
        }
        case TStreamEvent::TKind::Message:
            break;
    }
    const TCorrMessage& m = event.Message;
    r.Standard = m.Standard == TCidStandard::Bell202 ? "bell202" : "etsi";
    r.Raw = m.Message;
    r.Quality = std::round(m.Quality * 1000) / 1000;
    r.Uncertain = m.Uncertain;
    PutMessageFields(r, m.Message);
    const bool afterSas = m.Seconds - lastSas_ < 1.5;
    const bool afterCas = m.Standard == TCidStandard::Bell202 && m.Seconds - lastCas_ < 1.5;
    if (r.Kind == "MDMF" && (afterSas || afterCas)) {
        r.Kind = "call waiting";
    }
    if (m.Uncertain) {
        Append(r.Details, "uncertain; other reading: " + HexText(m.Alternative));
    }
    if (m.Failed) {
        r.Refused = m.Failure.empty() ? "refused" : m.Failure;
        Append(r.Details, "refused: " + r.Refused);
    }
    return r;
}

namespace {

std::string QualityText(const TCallRecord& r) {
    if (!r.Quality) {
        return "";
    }
    char text[16];
    std::snprintf(text, sizeof text, "%.3f", *r.Quality);
    return text;
}

}  // namespace

std::string CallBytesText(const TCallRecord& r) {
    return r.Standard == "dtmf" ? r.Raw : HexText(r.Raw);
}

std::string CallsCsv(const std::vector<TCallRecord>& rows) {
    std::string text =
        "id,heard_utc,local_time,input,offset_seconds,standard,kind,number,name,contact,"
        "message_time,number_absent,name_absent,checksum,quality,uncertain,bytes,details,"
        "refused\r\n";
    for (const TCallRecord& r : rows) {
        char offset[32];
        std::snprintf(offset, sizeof offset, "%.3f", r.Offset);
        const std::vector<std::string> cells = {std::to_string(r.Id),
                                                r.HeardUtc,
                                                LocalText(r.HeardUtc),
                                                r.Input,
                                                offset,
                                                r.Standard,
                                                r.Kind,
                                                r.Number,
                                                r.Name,
                                                r.Contact,
                                                r.MessageTime,
                                                r.NumberAbsent,
                                                r.NameAbsent,
                                                r.Checksum,
                                                QualityText(r),
                                                r.Uncertain ? "1" : "0",
                                                CallBytesText(r),
                                                r.Details,
                                                r.Refused};
        for (std::size_t i = 0; i < cells.size(); ++i) {
            text += (i ? "," : "") + CsvField(cells[i]);
        }
        text += "\r\n";
    }
    return text;
}

}  // namespace ringlark
