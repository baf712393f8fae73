#pragma once

// Checks shared by the commands' options.
#include <CLI/CLI.hpp>
#include <string>

namespace ringlark::cli {

// A number option that must be finite and within low to high; `what` is the
// error CLI11 reports ("must be 0 to 10000 ms").
CLI::Validator FiniteIn(double low, double high, const std::string& what);

}  // namespace ringlark::cli
