#include "generation/workflow/ClockText.h"

#include <cstdio>

namespace ringlark {

TClockTexts ClockTexts(const std::tm& local) {
    char date[16];
    char time[16];
    std::snprintf(date, sizeof date, "%02d%02d", (local.tm_mon + 1) % 100, local.tm_mday % 100);
    std::snprintf(time, sizeof time, "%02d%02d", local.tm_hour % 100, local.tm_min % 100);
    return {date, time};
}

TClockTexts CurrentClockTexts() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return ClockTexts(local);
}

}  // namespace ringlark
