#include "cli/CliOptions.h"

#include <cmath>
#include <cstdlib>

namespace ringlark::cli {

CLI::Validator FiniteIn(double low, double high, const std::string& what) {
    return CLI::Validator(
        [low, high, what](std::string& text) -> std::string {
            char* end = nullptr;
            const double value = std::strtod(text.c_str(), &end);
            if (end == text.c_str() || *end != '\0' || !std::isfinite(value) || value < low ||
                value > high) {
                return what;
            }
            return {};
        },
        "");
}

}  // namespace ringlark::cli
