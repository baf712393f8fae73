#include "handshake/sound/DuplexDevice.h"

#include <portaudio.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "core/RinglarkError.h"

namespace ringlark {

namespace {

constexpr double kBlockSeconds = 0.010;
constexpr int kPrimingBlocks = 2;

RinglarkError Failure(const std::string& what, PaError error) {
    return RinglarkError(what + ": " + Pa_GetErrorText(error));
}

bool Duplex(const PaDeviceInfo* info) {
    return info != nullptr && info->maxInputChannels > 0 && info->maxOutputChannels > 0;
}

PaDeviceIndex FindDuplexDevice(const std::string& device) {
    if (device.empty()) {
        const PaDeviceIndex index = Pa_GetDefaultInputDevice();
        if (index == paNoDevice || !Duplex(Pa_GetDeviceInfo(index))) {
            throw RinglarkError(
                "Cannot open the sound device: the default device has no input and output; "
                "name one with --device");
        }
        return index;
    }
    const PaDeviceIndex count = Pa_GetDeviceCount();
    char* end = nullptr;
    const long number = std::strtol(device.c_str(), &end, 10);
    if (end != device.c_str() && *end == '\0') {
        if (number >= 0 && number < count && Duplex(Pa_GetDeviceInfo(number))) {
            return static_cast<PaDeviceIndex>(number);
        }
        throw RinglarkError(
            "Cannot open the sound device: no device with input and output has "
            "the index " +
            device);
    }
    PaDeviceIndex containing = paNoDevice;
    int matches = 0;
    for (PaDeviceIndex i = 0; i < count; ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (!Duplex(info)) {
            continue;
        }
        if (device == info->name) {
            return i;
        }
        if (std::string(info->name).find(device) != std::string::npos) {
            containing = i;
            ++matches;
        }
    }
    if (matches == 1) {
        return containing;
    }
    throw RinglarkError(matches == 0
                            ? "Cannot open the sound device: no device with input and output "
                              "is named " +
                                  device
                            : "Cannot open the sound device: several devices are named " + device);
}

}  // namespace

TDuplexDevice::TDuplexDevice(const std::string& device, double rate) {
    PaError error = Pa_Initialize();
    if (error != paNoError) {
        throw Failure("Sound could not be started", error);
    }
    try {
        const PaDeviceIndex index = FindDuplexDevice(device);
        const PaDeviceInfo* info = Pa_GetDeviceInfo(index);
        name_ = info->name;
        rate_ = rate > 0 ? rate : info->defaultSampleRate;
        PaStreamParameters input{}, output{};
        input.device = output.device = index;
        input.channelCount = output.channelCount = 1;
        input.sampleFormat = output.sampleFormat = paFloat32;
        input.suggestedLatency = info->defaultLowInputLatency;
        output.suggestedLatency = info->defaultLowOutputLatency;
        PaStream* stream = nullptr;
        error = Pa_OpenStream(&stream, &input, &output, rate_,
                              static_cast<unsigned long>(std::lround(rate_ * kBlockSeconds)),
                              paClipOff, nullptr, nullptr);
        if (error != paNoError) {
            throw Failure("Cannot open the sound device " + name_, error);
        }
        stream_ = stream;
    } catch (...) {
        Pa_Terminate();
        throw;
    }
}

TDuplexDevice::~TDuplexDevice() {
    Pa_CloseStream(static_cast<PaStream*>(stream_));
    Pa_Terminate();
}

void TDuplexDevice::Run(const TStep& step, const std::atomic<bool>* stop) {
    auto* stream = static_cast<PaStream*>(stream_);
    PaError error = Pa_StartStream(stream);
    if (error != paNoError) {
        throw Failure("Cannot start the sound device " + name_, error);
    }
    const auto block = static_cast<std::size_t>(std::lround(rate_ * kBlockSeconds));
    std::vector<float> in(block), out(block, 0.0f);
    try {
        for (int i = 0; i < kPrimingBlocks; ++i) {
            Pa_WriteStream(stream, out.data(), static_cast<unsigned long>(block));
        }
        bool going = true;
        while (going && (stop == nullptr || !stop->load())) {
            error = Pa_ReadStream(stream, in.data(), static_cast<unsigned long>(block));
            if (error == paInputOverflowed) {
                ++overflows_;
            } else if (error != paNoError) {
                throw Failure("Sound input failed", error);
            }
            going = step(in, out);
            error = Pa_WriteStream(stream, out.data(), static_cast<unsigned long>(block));
            if (error != paNoError && error != paOutputUnderflowed) {
                throw Failure("Sound output failed", error);
            }
        }
    } catch (...) {
        Pa_AbortStream(stream);
        throw;
    }
    Pa_StopStream(stream);
}

}  // namespace ringlark
