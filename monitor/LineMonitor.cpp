#include "monitor/LineMonitor.h"

#include <cstdio>

#include "core/Cp1252.h"
#include "core/UserMessages.h"
#include "inspection/Inspector.h"
#include "protocol/DtmfCallerId.h"
#include "protocol/MessageFormat.h"

namespace ringlark {

namespace {

std::string Joined(const std::string& a, std::string_view separator, const std::string& b) {
    return a.empty() ? b : b.empty() ? a : a + std::string(separator) + b;
}

}  // namespace

TLineMonitorRow LineMonitorRow(const TStreamEvent& event) {
    TLineMonitorRow row;
    auto& cells = row.Cells;
    char text[160];
    std::snprintf(text, sizeof text, "%.3f s", event.Seconds());
    cells[0] = text;
    if (event.Kind == TStreamEvent::TKind::Dtmf) {
        cells[1] = "DTMF";
        cells[5] = "-";
        cells[LineMonitorDetailsColumn] = event.Dtmf.Digits;
        row.Standard = TCidStandard::Dtmf;
        for (const std::string& field : DtmfFields(event.Dtmf.Digits)) {
            if (field.rfind("Calling Number: ", 0) == 0) {
                cells[2] = field.substr(16);
            } else {
                cells[LineMonitorDetailsColumn] += "; " + field;
            }
        }
        return row;  // digits, not bytes: nothing for the inspector
    }
    if (event.Kind != TStreamEvent::TKind::Message) {
        const TAlertTone& t = event.Tone;
        if (event.Kind == TStreamEvent::TKind::DualTone) {
            cells[1] = "CAS";
            std::snprintf(text, sizeof text, "%.1f ms, %.1f Hz %.1f dBFS + %.1f Hz %.1f dBFS",
                          t.Duration * 1000, t.LowHz, t.LowDbfs, t.HighHz, t.HighDbfs);
        } else {
            cells[1] = "SAS";
            std::snprintf(text, sizeof text, "%.1f ms, %.1f Hz %.1f dBFS", t.Duration * 1000,
                          t.LowHz, t.LowDbfs);
        }
        cells[LineMonitorDetailsColumn] = text;
        return row;
    }
    const TCorrMessage& m = event.Message;
    row.Message = m.Message;
    row.Standard = m.Standard;
    cells[5] = m.Failed ? "Failed" : m.Uncertain ? "Uncertain" : "OK";
    std::snprintf(text, sizeof text, "%.3f", m.Quality);
    cells[LineMonitorQualityColumn] = text;
    if (m.Failed) {
        cells[LineMonitorDetailsColumn] =
            "refused: " + (m.Failure.empty() ? std::string("refused") : m.Failure);
    }
    const auto type = m.Message.empty() ? 0 : static_cast<uint8_t>(m.Message[0]);
    const char* kind = type == cid::TypeSdmf                   ? "SDMF"
                       : type == cid::TypeMdmf                 ? "MDMF"
                       : type == 0x06 || type == cid::TypeVmwi ? "VMWI"  // 0x06: SDMF's
                                                               : "Message";
    cells[1] = std::string(m.Standard == TCidStandard::Bell202 ? "" : "V.23 ") + kind;
    // Each value note is "Label: value"; the label says which column it fills.
    for (const Bytes& note : InspectorFields(BuildInspector(m.Message, m.Standard))) {
        const std::string shown = ShownText(note);
        const auto colon = shown.find(": ");
        const std::string label = colon == std::string::npos ? "" : shown.substr(0, colon);
        const std::string value = colon == std::string::npos ? shown : shown.substr(colon + 2);
        if (label == "Date" || label == "Time") {
            cells[4] = Joined(cells[4], " ", value);
        } else if (label.find("Name") != std::string::npos) {
            cells[3] = Joined(cells[3], ", ", value);
        } else if (label.find("Number") != std::string::npos) {
            cells[2] = Joined(cells[2], ", ", value);
        } else {
            cells[LineMonitorDetailsColumn] = Joined(cells[LineMonitorDetailsColumn], "; ", shown);
        }
    }
    return row;
}

std::optional<TCallNotice> CallNoticeFor(const TLineMonitorRow& row) {
    const auto& cells = row.Cells;
    const bool dtmf = cells[1] == "DTMF";
    const bool fsk = !row.Message.empty();
    if (row.Separator || !(dtmf || fsk)) {
        return std::nullopt;
    }
    if (fsk) {
        const auto type = row.Message.empty() ? 0 : static_cast<uint8_t>(row.Message[0]);
        if (cells[5] != "OK" || (type != cid::TypeSdmf && type != cid::TypeMdmf)) {
            return std::nullopt;
        }
    }
    TCallNotice notice;
    notice.Title = "Call from " + (cells[2].empty() ? std::string("an unknown number") : cells[2]);
    notice.Body = cells[3].empty() ? "No name sent" : cells[3];
    return notice;
}

const TLineMonitorRow* TLineMonitorLog::BeginRun() {
    ++runs_;
    if (rows_.empty()) {
        return nullptr;
    }
    TLineMonitorRow separator;
    separator.Separator = true;
    separator.Cells[0] = "\u2014 Start " + std::to_string(runs_) + " \u2014";
    rows_.push_back(std::move(separator));
    return &rows_.back();
}

const TLineMonitorRow& TLineMonitorLog::Add(const TStreamEvent& event) {
    return Add(LineMonitorRow(event));
}

const TLineMonitorRow& TLineMonitorLog::Add(TLineMonitorRow row) {
    rows_.push_back(std::move(row));
    return rows_.back();
}

void TLineMonitorLog::Clear() {
    rows_.clear();
    runs_ = 0;
}

namespace {

std::string WithLost(std::string text, int lost) {
    return lost > 0 ? text + "; " + msg::InputLost(lost) : text;
}

}  // namespace

std::string ListeningStatus(double rate, int lost) {
    char text[64];
    std::snprintf(text, sizeof text, "Listening at %g/s", rate);
    return WithLost(text, lost);
}

std::string StoppedStatus(int lost) {
    return WithLost("Stopped", lost);
}

std::string RecordedStatus(double seconds, const std::string& path, int lost) {
    char text[64];
    std::snprintf(text, sizeof text, "Recorded %.1f s to ", seconds);
    return WithLost(text + path, lost);
}

}  // namespace ringlark
