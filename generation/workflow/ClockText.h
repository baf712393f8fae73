#pragma once

#include <ctime>
#include <string>

namespace ringlark {

// The date as "MMDD" and the time as "hhmm" (24-hour), as the caller-ID date and
// time fields hold them.
struct TClockTexts {
    std::string Date;
    std::string Time;
};

TClockTexts ClockTexts(const std::tm& local);
TClockTexts CurrentClockTexts();

}  // namespace ringlark
