// The sound output of a build configured without PortAudio: every play is
// reported as a failure with the reason, so callers need no build switch.
#include "generation/sound/PortAudioPlayer.h"

namespace ringlark {

std::optional<std::string> TPortAudioPlayer::Play(const Bytes&) {
    return std::string(
        "This build of Ringlark has no sound output (configured with RINGLARK_SOUND=OFF)");
}

}  // namespace ringlark
