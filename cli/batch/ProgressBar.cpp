#include "cli/batch/ProgressBar.h"

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

}  // namespace ringlark::cli
