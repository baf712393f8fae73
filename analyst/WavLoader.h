#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/Bytes.h"
#include "core/Services.h"

namespace ringlark {

enum class TLoadResult { Cancelled, Refused, Loaded };

namespace loader {
inline constexpr std::string_view UnsupportedFormat =
    "Unsupported format!\r\nWAV file must be 8-bit mono.";
inline constexpr std::string_view UnsupportedRate =
    "WAV file most be 11025, 22050, or 44100 samples per second.";
inline constexpr std::string_view TooLarge =
    "WAV file too large!\r\nFiles of 2 GB or more cannot be analysed.";
inline constexpr std::string_view TooLargeConverted =
    "WAV file too large!\r\nConverted to 44100 samples per second it would take 2 GB or more.";
inline constexpr std::string_view ConvertingFrom11k = "Converting from 11k format";
inline constexpr std::string_view ConvertingFrom22k = "Converting from 22k format";
// A header may claim more samples than the file holds; up to one second of
// input is made up by repeating the last sample, beyond that the conversion
// stops at the end of the file.
inline constexpr uint32_t MaxRepeatedShortfall = 44100;
inline constexpr int64_t MaxImageSize = INT32_MAX;
}  // namespace loader

// The notice that refuses a file, judged from its first 44 bytes (fewer when
// the file is shorter) and its size, before its samples are read; nothing when
// the file can be loaded.
std::optional<std::string_view> LoadRefusal(std::string_view head, uint64_t fileSize);

// The number of input samples a conversion reads: the header's data size, but
// a shortfall of more than a second is not made up.
uint32_t InputSamples(const Bytes& file);

// Supplies up to `size` samples into `to`; 0 at the end.
using TSampleSource = std::function<std::size_t(char* to, std::size_t size)>;

// Converts the samples that `read` supplies, after the 44-byte header (whose
// rate is 11025 or 22050), to 44100/s: only the converted image is held, the
// input is read block by block.
Bytes ConvertStream(std::string_view header, uint64_t availableSamples, const TSampleSource& read,
                    IProgress& progress);

// Converts an image at 11025 or 22050 samples per second to 44100. The header is
// rewritten (rate, byte rate and data size multiplied; the RIFF size kept).
Bytes ConvertBy4(const Bytes& file, IProgress& progress);
Bytes ConvertBy2(const Bytes& file, IProgress& progress);

}  // namespace ringlark
