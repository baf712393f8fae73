#pragma once

// The receiver-test options of generate: impairments, output rate and sample
// format. None given: generate makes exactly what it always made.
#include <CLI/CLI.hpp>
#include <optional>
#include <string>

#include "testsignal/TestSignal.h"

namespace ringlark::cli {

struct TImpairmentArgs {
    TImpairments Values;
    std::optional<double> LevelDbm, AlertLevelDbm, DbmAtFs;
    std::optional<int> Rate;
    std::string Format;  // "u8", "s16"; empty: u8

    bool Given() const;
    // The impairments with dBm levels converted; a value out of range or
    // --level-dbm without --dbm-at-fs is a usage error naming the range.
    TImpairments Resolved() const;
    int OutputRate() const { return Rate.value_or(44100); }
    TSampleFormat OutputFormat() const;
};

void AddImpairmentOptions(CLI::App& command, TImpairmentArgs& args);

// The range checks of a test signal as a usage error.
void CheckAsUsage(const TTestSignal& signal);

}  // namespace ringlark::cli
