#include "WavImage.h"

#include "FileWriting.h"

namespace ringlark {

namespace {

void Put32(Bytes& header, std::size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        header[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}
void Put16(Bytes& header, std::size_t offset, uint16_t value) {
    header[offset] = static_cast<char>(value & 0xFF);
    header[offset + 1] = static_cast<char>(value >> 8);
}
uint32_t Get32(const Bytes& bytes, std::size_t offset) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | ByteAt(bytes, offset + i);
    }
    return value;
}

}  // namespace

void WriteWavHeader(Bytes& stream) {
    if (stream.size() < WavHeaderSize) {
        stream.resize(WavHeaderSize, '\0');
    }
    const auto dataSize = static_cast<uint32_t>(stream.size() - WavHeaderSize);
    Bytes header(WavHeaderSize, '\0');
    header.replace(0, 4, "RIFF");
    Put32(header, 4, dataSize + 36);
    header.replace(8, 4, "WAVE");
    header.replace(12, 4, "fmt ");
    Put32(header, 16, 16);
    Put16(header, 20, 1);  // PCM
    Put16(header, 22, 1);  // mono
    Put32(header, 24, 44100);
    Put32(header, 28, 44100);  // bytes per second
    Put16(header, 32, 1);      // block align
    Put16(header, 34, 8);      // bits per sample
    header.replace(36, 4, "data");
    Put32(header, 40, dataSize);
    stream.replace(0, WavHeaderSize, header);
}

TWavFields ReadWavFields(const Bytes& image) {
    TWavFields fields;
    if (image.size() >= WavHeaderSize) {
        fields.SampleRate = Get32(image, 24);
        fields.DataSize = Get32(image, 40);
    }
    return fields;
}

void SaveImageToFile(const std::string& path, const Bytes& image) {
    WriteFileReplacing(path, image);
}

}  // namespace ringlark
