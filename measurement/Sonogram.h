#pragma once

// Frequency against time over a stretch of a recording, for the Signal
// Measurements window: short-time power by frequency (FFTW), in decibels.
#include <cstdint>
#include <span>
#include <vector>

namespace ringlark {

struct TSonogram {
    int Columns = 0;
    int Bins = 0;  // 0 Hz up to TopHz
    double TopHz = 0;
    double FromSeconds = 0;
    double ToSeconds = 0;
    std::vector<float> Db;  // Columns * Bins, column after column, bin 0 first
    float At(int column, int bin) const {
        return Db[static_cast<std::size_t>(column) * static_cast<std::size_t>(Bins) +
                  static_cast<std::size_t>(bin)];
    }
    // The bin that holds a frequency.
    int BinOf(double hz) const;
};

// The power by frequency of Hann-windowed blocks of about 6 ms, one per column, centred on
// evenly spread times over [fromSeconds, toSeconds), each shown up to topHz
// in `bins` rows (interpolated from the FFT's bins), in dB relative to a
// full-scale sine.
TSonogram ComputeSonogram(std::span<const float> samples, double rate, double fromSeconds,
                          double toSeconds, int columns, int bins, double topHz = 4000);

}  // namespace ringlark
