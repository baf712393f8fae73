#include "core/RinglarkError.h"
#include "monitor/sound/PortAudioInput.h"

namespace ringlark {

namespace {
constexpr const char* kNoInput = "This build of Ringlark has no sound input";
}

void ShowSoundLibraryMessages(bool) {}

std::vector<TInputDevice> ListInputDevices() {
    throw RinglarkError(kNoInput);
}

TPortAudioInput::TPortAudioInput(const std::string&, double) {
    throw RinglarkError(kNoInput);
}

TPortAudioInput::~TPortAudioInput() = default;

std::size_t TPortAudioInput::Read(float*, std::size_t) {
    return 0;
}

}  // namespace ringlark
