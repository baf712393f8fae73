#pragma once

#include "generation/MessageBuilder.h"
#include "generation/workflow/CallerIdTab.h"

namespace ringlark {

// Which of the three caller-ID tabs a request is read from: it decides the
// message kind, the signalling and which boxes take part.
enum class TCallerIdTabKind { Sdmf, Mdmf, Cwcid };

// The request that one generation reads from a caller-ID tab. The SDMF tab has
// no name and no Disable boxes, so their states never reach its request; the
// CWCID tab sends its message with the call-waiting preamble.
TCidRequest RequestFromTab(const TCallerIdTab& tab, TCallerIdTabKind kind);

}  // namespace ringlark
