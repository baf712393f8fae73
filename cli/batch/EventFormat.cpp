#include "cli/batch/EventFormat.h"

#include <cmath>
#include <cstdio>

#include "cli/CliFormat.h"
#include "protocol/DtmfCallerId.h"

namespace ringlark::cli {

namespace {

double Rounded(double v, double step) {
    return std::round(v / step) * step;
}

}  // namespace

std::string MessageLine(const TCorrMessage& m) {
    char head[64];
    std::snprintf(head, sizeof head, "%.3fs %s q=%.2f ", m.Seconds, m.Tag().data(), m.Quality);
    if (m.Uncertain) {
        return head + std::string("UNCERTAIN ") + HexString(m.Message) + " | or " +
               HexString(m.Alternative);
    }
    return head + HexString(m.Message) + " | " + FieldsText(m.Message, m.Standard);
}

nlohmann::json MessageJson(const TCorrMessage& m) {
    nlohmann::json entry = {{"seconds", m.Seconds},
                            {"tag", m.Tag()},
                            {"bytes", HexString(m.Message)},
                            {"fields", FieldsText(m.Message, m.Standard)},
                            {"quality", std::round(m.Quality * 1000) / 1000},
                            {"uncertain", m.Uncertain}};
    if (m.Uncertain) {
        entry["alternative"] = HexString(m.Alternative);
    }
    return entry;
}

std::string DtmfLine(const TDtmfMessage& message) {
    char head[32];
    std::snprintf(head, sizeof head, "%.3fs DTMF ", message.Seconds);
    return head + message.Digits + " | " + DtmfFieldsText(message.Digits);
}

nlohmann::json DtmfJson(const TDtmfMessage& message) {
    return {{"seconds", message.Seconds},
            {"tag", "DTMF"},
            {"digits", message.Digits},
            {"fields", DtmfFieldsText(message.Digits)},
            {"uncertain", false}};
}

std::string EventLine(const TStreamEvent& event) {
    if (event.Kind == TStreamEvent::TKind::Message) {
        return MessageLine(event.Message);
    }
    if (event.Kind == TStreamEvent::TKind::Dtmf) {
        return DtmfLine(event.Dtmf);
    }
    const TAlertTone& t = event.Tone;
    char text[160];
    if (event.Kind == TStreamEvent::TKind::DualTone) {
        std::snprintf(text, sizeof text, "%.3fs CAS %.1f ms %.1f Hz %.1f dBFS + %.1f Hz %.1f dBFS",
                      t.Seconds, t.Duration * 1000, t.LowHz, t.LowDbfs, t.HighHz, t.HighDbfs);
    } else {
        std::snprintf(text, sizeof text, "%.3fs SAS %.1f ms %.1f Hz %.1f dBFS", t.Seconds,
                      t.Duration * 1000, t.LowHz, t.LowDbfs);
    }
    return text;
}

nlohmann::json EventJson(const TStreamEvent& event) {
    if (event.Kind == TStreamEvent::TKind::Message || event.Kind == TStreamEvent::TKind::Dtmf) {
        nlohmann::json out = {{"event", "message"}};
        out.update(event.Kind == TStreamEvent::TKind::Dtmf ? DtmfJson(event.Dtmf)
                                                           : MessageJson(event.Message));
        return out;
    }
    const TAlertTone& t = event.Tone;
    nlohmann::json out = {{"event", event.Kind == TStreamEvent::TKind::DualTone ? "cas" : "sas"},
                          {"seconds", Rounded(t.Seconds, 0.0001)},
                          {"duration", Rounded(t.Duration, 0.0001)}};
    if (event.Kind == TStreamEvent::TKind::DualTone) {
        out["frequencies_hz"] = {Rounded(t.LowHz, 0.1), Rounded(t.HighHz, 0.1)};
        out["levels_dbfs"] = {Rounded(t.LowDbfs, 0.1), Rounded(t.HighDbfs, 0.1)};
    } else {
        out["frequencies_hz"] = {Rounded(t.LowHz, 0.1)};
        out["levels_dbfs"] = {Rounded(t.LowDbfs, 0.1)};
    }
    return out;
}

std::string InputLostLine(int times, double seconds) {
    char text[96];
    std::snprintf(text, sizeof text, "input lost at %.3fs (%d %s so far)", seconds, times,
                  times == 1 ? "time" : "times");
    return text;
}

nlohmann::json InputLostJson(int times, double seconds) {
    return {{"event", "input_lost"}, {"seconds", Rounded(seconds, 0.0001)}, {"times", times}};
}

}  // namespace ringlark::cli
