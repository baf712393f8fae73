#include "cli/batch/ProgressBar.h"

#include <algorithm>
#include <cstdio>

namespace ringlark::cli {

TProgressBar::TProgressBar(std::size_t total, bool shown)
    : total_(total), shown_(shown), start_(std::chrono::steady_clock::now()) {}

std::string TProgressBar::Line(std::size_t done, std::size_t total, double seconds) {
    constexpr std::size_t kWidth = 40;
    const std::size_t filled = total > 0 ? kWidth * done / total : kWidth;
    std::string bar = "[" + std::string(filled, '=') + std::string(kWidth - filled, ' ') + "]";
    const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
    char text[96];
    if (rate > 0) {
        const auto left = static_cast<long>(static_cast<double>(total - done) / rate + 0.5);
        std::snprintf(text, sizeof text, " %zu/%zu  %.1f files/s  %ld:%02ld left", done, total,
                      rate, left / 60, left % 60);
    } else {
        std::snprintf(text, sizeof text, " %zu/%zu", done, total);
    }
    return bar + text;
}

void TProgressBar::Show(std::size_t done) {
    if (!shown_) {
        return;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    std::fprintf(stderr, "\r%s", Line(done, total_, seconds).c_str());
    std::fflush(stderr);
    drawn_ = true;
}

void TProgressBar::Clear() {
    if (shown_ && drawn_) {
        std::fprintf(stderr, "\r\033[K");
        std::fflush(stderr);
        drawn_ = false;
    }
}

namespace {

std::string Clock(double seconds) {
    const auto s = static_cast<long>(std::max(0.0, seconds) + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    return text;
}

}  // namespace

TAudioProgress::TAudioProgress(bool shown)
    : shown_(shown), start_(std::chrono::steady_clock::now()), last_(start_) {}

std::string TAudioProgress::Line(double seconds, double total, double elapsed) {
    constexpr double kWidth = 40;
    const auto filled =
        static_cast<std::size_t>(total > 0 ? std::clamp(kWidth * seconds / total, 0.0, kWidth) : 0);
    std::string line = "[" + std::string(filled, '=') +
                       std::string(static_cast<std::size_t>(kWidth) - filled, ' ') + "] " +
                       Clock(seconds) + " of " + Clock(total);
    if (elapsed > 0 && seconds > 0) {
        const double speed = seconds / elapsed;
        char text[64];
        std::snprintf(text, sizeof text, "  %.0fx  ", speed);
        const double left = std::max(0.0, total - seconds) / speed;
        line += text + Clock(left) + " left";
    }
    return line;
}

void TAudioProgress::Show(double seconds, double total) {
    const auto now = std::chrono::steady_clock::now();
    if (!shown_ || total <= 0 || now - start_ < std::chrono::seconds(1) ||
        (drawn_ && now - last_ < std::chrono::milliseconds(100))) {
        return;
    }
    last_ = now;
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    std::fprintf(stderr, "\r%s", Line(seconds, total, elapsed).c_str());
    std::fflush(stderr);
    drawn_ = true;
}

void TAudioProgress::Clear() {
    if (shown_ && drawn_) {
        std::fprintf(stderr, "\r\033[K");
        std::fflush(stderr);
        drawn_ = false;
    }
}

}  // namespace ringlark::cli
