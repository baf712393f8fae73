#include "analyst/LongRecording.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "analyst/AnalystTab.h"
#include "core/Cp1252.h"
#include "inspection/Inspector.h"
#include "protocol/DtmfCallerId.h"

namespace ringlark {

namespace {

// Bell 202 and V.23 both send 1200 bits a second, ten to a byte.
constexpr double kByteSeconds = 10.0 / 1200.0;

std::string HexText(std::string_view bytes) {
    std::string out;
    for (char c : bytes) {
        char text[4];
        std::snprintf(text, sizeof text, "%02X", static_cast<unsigned char>(c));
        out += (out.empty() ? "" : " ") + std::string(text);
    }
    return out;
}

std::string FieldsOf(const TCorrMessage& message) {
    std::string fields;
    for (const Bytes& note : InspectorFields(BuildInspector(message.Message, message.Standard))) {
        fields += (fields.empty() ? "" : "; ") + ShownText(note);
    }
    return fields;
}

}  // namespace

std::string ClockText(double seconds, bool tenths) {
    const double step = tenths ? 10.0 : 1.0;
    const auto units = static_cast<int64_t>(std::llround(std::max(0.0, seconds) * step));
    const int64_t whole = tenths ? units / 10 : units;
    char text[48];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(whole / 3600),
                  static_cast<long long>(whole / 60 % 60), static_cast<long long>(whole % 60));
    std::string out = text;
    if (tenths) {
        out += "." + std::to_string(units % 10);
    }
    return out;
}

std::string TooLongNotice(double seconds) {
    return "This recording is " + ClockText(seconds, false) +
           " long, too long to show in the viewer. Its messages are listed instead.";
}

TLongRecordingRow LongRecordingRow(const TStreamEvent& event, double heardSeconds) {
    TLongRecordingRow row;
    row.Seconds = event.Seconds();
    row.Time = ClockText(row.Seconds, true);
    if (event.Kind == TStreamEvent::TKind::Message) {
        const TCorrMessage& m = event.Message;
        row.End = m.Seconds + static_cast<double>(m.Message.size()) * kByteSeconds;
        row.Tag = std::string(m.Tag());
        row.Hex = HexText(m.Message);
        row.Uncertain = m.Uncertain;
        // an uncertain reading's values are not told: either reading may be wrong
        row.Fields = m.Uncertain ? "Uncertain: another reading also fits: " + HexText(m.Alternative)
                                 : FieldsOf(m);
        return row;
    }
    if (event.Kind == TStreamEvent::TKind::Dtmf) {
        row.End = std::max(row.Seconds, heardSeconds);
        row.Tag = "DTMF";
        row.Hex = event.Dtmf.Digits;
        row.Fields = DtmfFieldsText(event.Dtmf.Digits);
        return row;
    }
    const TAlertTone& t = event.Tone;
    row.End = t.Seconds + t.Duration;
    char text[160];
    if (event.Kind == TStreamEvent::TKind::DualTone) {
        row.Tag = "CAS";
        std::snprintf(text, sizeof text, "%.1f ms, %.1f Hz %.1f dBFS + %.1f Hz %.1f dBFS",
                      t.Duration * 1000, t.LowHz, t.LowDbfs, t.HighHz, t.HighDbfs);
    } else {
        row.Tag = "SAS";
        std::snprintf(text, sizeof text, "%.1f ms, %.1f Hz %.1f dBFS", t.Duration * 1000, t.LowHz,
                      t.LowDbfs);
    }
    row.Fields = text;
    return row;
}

TLongRecordingList::TLongRecordingList(TAnalystTab& analyst) : analyst_(analyst) {}

int TLongRecordingList::Begin(const std::string& path, const TRecordingInfo& info) {
    path_ = path;
    seconds_ = info.Seconds();
    rate_ = info.Rate;
    heading_ = TooLongNotice(seconds_);
    failure_.clear();
    rows_.clear();
    scanning_ = true;
    completed_ = false;
    done_ = 0;
    perMille_ = 0;
    cancel_.store(false);
    return ++scan_;
}

void TLongRecordingList::Found(int scan, const TStreamEvent& event, double heardSeconds) {
    if (scan == scan_) {
        rows_.push_back(LongRecordingRow(event, heardSeconds));
    }
}

void TLongRecordingList::Progressed(int scan, int64_t framesDone, int64_t framesTotal) {
    if (scan != scan_) {
        return;
    }
    done_ = framesDone;
    perMille_ =
        framesTotal > 0
            ? static_cast<int>(std::clamp<int64_t>(framesDone * 1000 / framesTotal, 0, 1000))
            : 0;
}

void TLongRecordingList::Finished(int scan, bool completed) {
    if (scan == scan_) {
        scanning_ = false;
        completed_ = completed;
        if (completed) {
            perMille_ = 1000;
        }
    }
}

void TLongRecordingList::Failed(int scan, const std::string& reason) {
    if (scan == scan_) {
        scanning_ = false;
        failure_ = reason;
    }
}

void TLongRecordingList::Cancel() {
    if (scanning_) {
        cancel_.store(true);
    }
}

std::string TLongRecordingList::Status() const {
    const std::string found = std::to_string(rows_.size()) + " found";
    if (scanning_) {
        if (cancel_.load()) {
            return "Cancelling: " + found;
        }
        char text[32];
        std::snprintf(text, sizeof text, "Scanning: %d %%, ", perMille_ / 10);
        return text + found;
    }
    if (!failure_.empty()) {
        return failure_;
    }
    if (completed_) {
        return "Scanned " + ClockText(seconds_, false) + ": " + found;
    }
    if (path_.empty()) {
        return "";
    }
    const double at = rate_ > 0 ? static_cast<double>(done_) / rate_ : 0.0;
    return "Cancelled at " + ClockText(at, false) + ": " + found;
}

bool TLongRecordingList::CanOpen(int row) const {
    return row >= 0 && static_cast<std::size_t>(row) < rows_.size();
}

std::pair<double, double> TLongRecordingList::Excerpt(int row) const {
    if (!CanOpen(row)) {
        return {0, 0};
    }
    const TLongRecordingRow& r = rows_[static_cast<std::size_t>(row)];
    return {std::max(0.0, r.Seconds - SecondsBefore),
            std::min(seconds_ > 0 ? seconds_ : r.End + SecondsAfter, r.End + SecondsAfter)};
}

bool TLongRecordingList::Open(int row) {
    if (!CanOpen(row)) {
        return false;
    }
    const auto [from, to] = Excerpt(row);
    return analyst_.AnalyzeExcerpt(path_, from, to);
}

}  // namespace ringlark
