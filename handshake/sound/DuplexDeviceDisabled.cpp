#include "core/RinglarkError.h"
#include "handshake/sound/DuplexDevice.h"

namespace ringlark {

TDuplexDevice::TDuplexDevice(const std::string&, double) {
    throw RinglarkError("This build of Ringlark has no sound input and output");
}

TDuplexDevice::~TDuplexDevice() = default;

void TDuplexDevice::Run(const TStep&, const std::atomic<bool>*) {}

}  // namespace ringlark
