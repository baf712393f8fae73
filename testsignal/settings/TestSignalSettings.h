#pragma once

// The "Test Signal" dialog of the desktop's Options menu: the impairments
// that Play, Save and Inspect apply to the generated signal, one text per
// value (empty: off), with the telephone band box and the noise's seed. All
// off, the desktop generates what it always did.
#include <string>
#include <string_view>
#include <vector>

#include "testsignal/Impairments.h"

namespace ringlark {

struct TTestSignalField {
    std::string Option;  // "twist-db"; "seed" for the noise's seed
    std::string Label;   // "Twist (dB)"
    std::string Range;   // "-20 to 20"
    std::string Text;    // the value typed; empty: off
};

class TTestSignalSettings {
  public:
    static constexpr std::string_view Caption = "Test Signal";
    static constexpr std::string_view Note =
        "Values left empty are off; with every value empty the signal is generated as without "
        "this page. A level is that of the lower tone, in dBFS (a full-scale sine is 0); a twist "
        "is the lower tone's level minus the higher one's. The clip level does not apply to a "
        "test signal: levels that would go past full scale are refused.";

    // In ImpairmentRanges' order, then the seed.
    std::vector<TTestSignalField> Fields;
    bool TelephoneBand = false;

    TTestSignalSettings();

    // The fields show the impairments in force.
    void Show(const TImpairments& impairments);
    // Every field emptied and the box cleared (the "All Off" button).
    void AllOff();
    // The impairments typed. Throws RinglarkError naming the first value
    // that cannot be read or is out of its range: "Twist (dB): '30' is out
    // of range: -20 to 20".
    TImpairments Read() const;
    // What the dialog's closing does: on OK the values typed replace those in
    // force, unless one cannot be read (then nothing changes and the error is
    // thrown); on Cancel nothing changes.
    void Apply(bool ok, TImpairments& inForce) const;

    TTestSignalField* Find(std::string_view option);
};

}  // namespace ringlark
