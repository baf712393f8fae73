#include "monitor/sound/PortAudioInput.h"

#include <portaudio.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "core/RinglarkError.h"

namespace ringlark {

namespace {

std::atomic<bool> gLibraryMessages{true};

// While it lives, and unless the libraries' messages are shown, stderr goes
// to /dev/null: ALSA and JACK print straight to it.
class TQuietLibraries {
  public:
    TQuietLibraries() {
        if (gLibraryMessages.load()) {
            return;
        }
        setenv("JACK_NO_START_SERVER", "1", 0);  // no server started just to list devices
        std::fflush(stderr);
        saved_ = dup(STDERR_FILENO);
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved_ >= 0 && null >= 0) {
            dup2(null, STDERR_FILENO);
        }
        if (null >= 0) {
            close(null);
        }
    }
    ~TQuietLibraries() {
        if (saved_ >= 0) {
            std::fflush(stderr);
            dup2(saved_, STDERR_FILENO);
            close(saved_);
        }
    }
    TQuietLibraries(const TQuietLibraries&) = delete;
    TQuietLibraries& operator=(const TQuietLibraries&) = delete;

  private:
    int saved_ = -1;
};

RinglarkError Failure(const std::string& what, PaError error) {
    return RinglarkError(what + ": " + Pa_GetErrorText(error));
}

void Initialize() {
    const PaError error = Pa_Initialize();
    if (error != paNoError) {
        throw Failure("Sound input could not be started", error);
    }
}

std::vector<TInputDevice> InputDevices() {
    std::vector<TInputDevice> devices;
    const PaDeviceIndex count = Pa_GetDeviceCount();
    const PaDeviceIndex defaultInput = Pa_GetDefaultInputDevice();
    for (PaDeviceIndex i = 0; i < count; ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (info != nullptr && info->maxInputChannels > 0) {
            devices.push_back({i, info->name, info->defaultSampleRate, i == defaultInput});
        }
    }
    return devices;
}

PaDeviceIndex FindDevice(const std::string& device) {
    if (device.empty()) {
        const PaDeviceIndex index = Pa_GetDefaultInputDevice();
        if (index == paNoDevice) {
            throw RinglarkError("Cannot open the sound input: there is no default input device");
        }
        return index;
    }
    const auto devices = InputDevices();
    char* end = nullptr;
    const long number = std::strtol(device.c_str(), &end, 10);
    if (end != device.c_str() && *end == '\0') {
        for (const auto& d : devices) {
            if (d.Index == number) {
                return d.Index;
            }
        }
        throw RinglarkError("Cannot open the sound input: no input device has the index " + device);
    }
    const TInputDevice* containing = nullptr;
    int matches = 0;
    for (const auto& d : devices) {
        if (d.Name == device) {
            return d.Index;
        }
        if (d.Name.find(device) != std::string::npos) {
            containing = &d;
            ++matches;
        }
    }
    if (matches == 1) {
        return containing->Index;
    }
    throw RinglarkError(
        matches == 0 ? "Cannot open the sound input: no input device is named " + device
                     : "Cannot open the sound input: several input devices are named " + device);
}

}  // namespace

void ShowSoundLibraryMessages(bool shown) {
    gLibraryMessages.store(shown);
}

std::vector<TInputDevice> ListInputDevices() {
    const TQuietLibraries quiet;
    Initialize();
    auto devices = InputDevices();
    Pa_Terminate();
    return devices;
}

TPortAudioInput::TPortAudioInput(const std::string& device, double rate) {
    const TQuietLibraries quiet;
    Initialize();
    try {
        const PaDeviceIndex index = FindDevice(device);
        const PaDeviceInfo* info = Pa_GetDeviceInfo(index);
        name_ = info->name;
        rate_ = rate > 0 ? rate : info->defaultSampleRate;
        PaStreamParameters input{};
        input.device = index;
        input.channelCount = 1;
        input.sampleFormat = paFloat32;
        // A long buffer: a blocking read returns as soon as its samples have
        // come, and a reader held up for a moment loses nothing.
        input.suggestedLatency = std::max(info->defaultHighInputLatency, 1.0);
        PaStream* stream = nullptr;
        PaError error = Pa_OpenStream(&stream, &input, nullptr, rate_, paFramesPerBufferUnspecified,
                                      paNoFlag, nullptr, nullptr);
        if (error != paNoError) {
            throw Failure("Cannot open the sound input " + name_, error);
        }
        error = Pa_StartStream(stream);
        if (error != paNoError) {
            Pa_CloseStream(stream);
            throw Failure("Cannot start the sound input " + name_, error);
        }
        stream_ = stream;
    } catch (...) {
        Pa_Terminate();
        throw;
    }
}

TPortAudioInput::~TPortAudioInput() {
    const TQuietLibraries quiet;
    auto* stream = static_cast<PaStream*>(stream_);
    Pa_StopStream(stream);
    Pa_CloseStream(stream);
    Pa_Terminate();
}

std::size_t TPortAudioInput::Read(float* samples, std::size_t count) {
    const PaError error =
        Pa_ReadStream(static_cast<PaStream*>(stream_), samples, static_cast<unsigned long>(count));
    if (error == paInputOverflowed) {
        ++overflows_;  // samples were lost before these; these are good
    } else if (error != paNoError) {
        throw Failure("Sound input failed", error);
    }
    return count;
}

}  // namespace ringlark
