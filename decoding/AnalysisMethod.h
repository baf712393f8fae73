#pragma once

#include <cstdint>
#include <ostream>

namespace ringlark {

// The ways a recording is turned into bits: zero crossings and peaks (methods 1
// and 2, whose results the analyst's report is built from) and the correlation
// decoder (method 3).
enum class TAnalysisMethod : int32_t { ZeroCrossing = 0, Peak = 1, Correlation = 2 };

// Method 1, 2 or 3, as the help and the reports number them.
inline std::ostream& operator<<(std::ostream& out, TAnalysisMethod method) {
    return out << "method " << static_cast<int32_t>(method) + 1;
}

}  // namespace ringlark
