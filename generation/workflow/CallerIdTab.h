#pragma once

#include "core/Bytes.h"
#include "generation/MessageBuilder.h"

namespace ringlark {

// The control states of one caller-ID tab (SDMF, MDMF or CWCID). All fields exist
// on every tab; the SDMF tab has no name and no Disable boxes.
struct TCallerIdTab {
    Bytes NumberText;
    Bytes NameText;
    Bytes DateText = "MMDD";
    Bytes TimeText = "HHMM";
    bool UseCurrent = true;
    bool OutOfArea = false;
    bool Private = false;
    bool LongDistance = false;
    bool NumberDisabled = false;
    bool NameDisabled = false;
    bool NumberBoxEnabled = true;
    bool NameBoxEnabled = true;
    bool DateTimeEnabled = false;
};

}  // namespace ringlark
