#pragma once

#include <string>
#include <vector>

#include "core/Services.h"

namespace ringlark {

struct TInputDevice {
    int Index = 0;
    std::string Name;
    double DefaultRate = 0;
    bool IsDefault = false;
};

// Whether what the sound libraries themselves print (ALSA's and JACK's
// complaints about cards and servers that are not there) reaches stderr while
// devices are listed, opened and closed; by default it does.
void ShowSoundLibraryMessages(bool shown);

// The sound input devices, in PortAudio's order. Throws RinglarkError when
// PortAudio cannot start.
std::vector<TInputDevice> ListInputDevices();

// Captures mono float samples from an input device through PortAudio with
// blocking reads. The device is the default input (""), an index from
// ListInputDevices, or a name (exact, or else the only one containing it); the
// rate is the device's default when 0. Throws RinglarkError, with PortAudio's
// reason, when the device cannot be found or opened.
class TPortAudioInput : public ISoundInput {
  public:
    TPortAudioInput(const std::string& device, double rate);
    ~TPortAudioInput() override;
    TPortAudioInput(const TPortAudioInput&) = delete;
    TPortAudioInput& operator=(const TPortAudioInput&) = delete;

    double Rate() const override { return rate_; }
    std::size_t Read(float* samples, std::size_t count) override;
    // Blocks the device could not keep (the reader was too slow), so far.
    int Overflows() const override { return overflows_; }
    const std::string& DeviceName() const { return name_; }

  private:
    [[maybe_unused]] void* stream_ = nullptr;  // a PaStream (unused in a build without sound)
    double rate_ = 0;
    std::string name_;
    int overflows_ = 0;
};

}  // namespace ringlark
