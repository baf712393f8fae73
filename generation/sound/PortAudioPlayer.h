#pragma once

#include "core/Services.h"

namespace ringlark {

// Plays an 8-bit (or 16-bit) mono WAV image on the default output device through PortAudio
// with blocking writes: Play returns when the last sample has been played, and no
// event loop runs meanwhile. PortAudio is opened for each play and closed after
// it, so a device plugged in later is found.
class TPortAudioPlayer : public ISoundPlayer {
  public:
    std::optional<std::string> Play(const Bytes& wavImage) override;
};

}  // namespace ringlark
