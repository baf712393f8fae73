#include "generation/sound/PortAudioPlayer.h"

#include <portaudio.h>

#include <algorithm>

#include "core/WavImage.h"

namespace ringlark {

namespace {

constexpr unsigned long kFramesPerWrite = 4096;

std::string Failure(PaError error) {
    return std::string("Sound could not be played: ") + Pa_GetErrorText(error);
}

class TPaSession {
  public:
    TPaSession() : error_(Pa_Initialize()) {}
    ~TPaSession() {
        if (error_ == paNoError) {
            Pa_Terminate();
        }
    }
    TPaSession(const TPaSession&) = delete;
    TPaSession& operator=(const TPaSession&) = delete;
    PaError Error() const { return error_; }

  private:
    PaError error_;
};

}  // namespace

std::optional<std::string> TPortAudioPlayer::Play(const Bytes& wavImage) {
    const TWavFields fields = ReadWavFields(wavImage);
    if (fields.SampleRate == 0) {
        return std::string("Sound could not be played: not a WAV image");
    }
    // 16-bit images come from the receiver test bench, whose weakest levels
    // 8 bits cannot carry; every other image is 8-bit.
    const bool wide = static_cast<uint8_t>(wavImage[34]) == 16 && wavImage[35] == 0;
    const std::size_t frameBytes = wide ? 2 : 1;
    const std::size_t available = wavImage.size() - WavHeaderSize;
    const std::size_t samples = std::min<std::size_t>(fields.DataSize, available) / frameBytes;

    TPaSession session;
    if (session.Error() != paNoError) {
        return Failure(session.Error());
    }
    PaStream* stream = nullptr;
    PaError error = Pa_OpenDefaultStream(&stream, 0, 1, wide ? paInt16 : paUInt8, fields.SampleRate,
                                         paFramesPerBufferUnspecified, nullptr, nullptr);
    if (error != paNoError) {
        return Failure(error);
    }
    error = Pa_StartStream(stream);
    const char* data = wavImage.data() + WavHeaderSize;
    for (std::size_t done = 0; error == paNoError && done < samples;) {
        const auto frames =
            static_cast<unsigned long>(std::min<std::size_t>(kFramesPerWrite, samples - done));
        error = Pa_WriteStream(stream, data + done * frameBytes, frames);
        // An underflow only means the device waited for us; the samples still play.
        if (error == paOutputUnderflowed) {
            error = paNoError;
        }
        done += frames;
    }
    const PaError stopError = Pa_IsStreamActive(stream) == 1 ? Pa_StopStream(stream) : paNoError;
    Pa_CloseStream(stream);
    if (error != paNoError) {
        return Failure(error);
    }
    if (stopError != paNoError) {
        return Failure(stopError);
    }
    return std::nullopt;
}

}  // namespace ringlark
