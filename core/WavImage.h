#pragma once

#include <cstdint>
#include <string>

#include "core/Bytes.h"

namespace ringlark {

inline constexpr std::size_t WavHeaderSize = 44;

// Fills the 44-byte RIFF/WAVE header at the front of the stream from its size:
// PCM, mono, 44100/s, 8 bits. No pad byte follows an odd number of samples.
void WriteWavHeader(Bytes& stream);

// Fields of the header that the players read back.
struct TWavFields {
    uint32_t SampleRate = 0;
    uint32_t DataSize = 0;
};
TWavFields ReadWavFields(const Bytes& image);

// Writes the whole image to the path. The bytes go to a temporary file in the
// same folder that is renamed over the target only once everything is written,
// so a failed save (a full disk) leaves any earlier file of that name as it was.
// Throws RinglarkError "Cannot create file %s" or "Stream write error".
void SaveImageToFile(const std::string& path, const Bytes& image);

}  // namespace ringlark
