#include "core/WavImage.h"

#include "core/FileWriting.h"

namespace ringlark {

void WriteWavHeader(Bytes& stream) {
    if (stream.size() < WavHeaderSize) {
        stream.resize(WavHeaderSize, '\0');
    }
    const auto dataSize = static_cast<uint32_t>(stream.size() - WavHeaderSize);
    Bytes header(WavHeaderSize, '\0');
    header.replace(0, 4, "RIFF");
    WriteLe32(header, 4, dataSize + 36);
    header.replace(8, 4, "WAVE");
    header.replace(12, 4, "fmt ");
    WriteLe32(header, 16, 16);
    WriteLe16(header, 20, 1);  // PCM
    WriteLe16(header, 22, 1);  // mono
    WriteLe32(header, 24, 44100);
    WriteLe32(header, 28, 44100);  // bytes per second
    WriteLe16(header, 32, 1);      // block align
    WriteLe16(header, 34, 8);      // bits per sample
    header.replace(36, 4, "data");
    WriteLe32(header, 40, dataSize);
    stream.replace(0, WavHeaderSize, header);
}

TWavFields ReadWavFields(const Bytes& image) {
    TWavFields fields;
    if (image.size() >= WavHeaderSize) {
        fields.SampleRate = ReadLe32(image, 24);
        fields.DataSize = ReadLe32(image, 40);
    }
    return fields;
}

void SaveImageToFile(const std::string& path, const Bytes& image) {
    WriteFileReplacing(path, image);
}

}  // namespace ringlark
