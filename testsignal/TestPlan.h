#pragma once

// Receiver test plans: conditions (impairments, a message, a number of runs,
// whether the receiver must accept or reject the signal), built in per
// standard from the receivers' published acceptance figures, or read from a
// JSON file.
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "core/Bytes.h"
#include "testsignal/TestSignal.h"

namespace ringlark {

enum class TExpect { Accept, Reject, Any };
std::string_view ExpectName(TExpect expect);  // "accept", "reject", "any"

// The message of a condition.
struct TPlanMessage {
    std::string Kind = "mdmf";  // sdmf, mdmf, cwcid, vmwi-on, vmwi-off
    std::string Number = "8005551212";
    std::string Name = "JOHN DOE";
    std::string Date = "1207", Time = "0930";
    bool CorruptChecksum = false;  // the last byte changed: a receiver must reject it
    bool operator==(const TPlanMessage&) const = default;
};

struct TPlanCondition {
    std::string Name;         // "level-min"
    std::string Description;  // "level at the bottom of the accepted range"
    std::string Source;       // where the figure comes from
    TImpairments Impairments;
    TPlanMessage Message;
    int Runs = 1;
    TExpect Expect = TExpect::Accept;
};

struct TPlan {
    std::string Name, Title;
    TCidStandard Standard = TCidStandard::Bell202;
    TSignalling Signalling = TSignalling::OnHook;
    bool Alert = false;  // etsi: the dual-tone alert first
    // Figures no source confirms, as parameters with their defaults:
    // name, value, what it is.
    struct TParameter {
        std::string Name;
        double Value = 0;
        std::string Meaning;
    };
    std::vector<TParameter> Parameters;
    int AllowedFailures = 0;   // per condition
    bool Sensitivity = false;  // conditions are SNR steps: the report draws the decode rate
    std::vector<TPlanCondition> Conditions;
};

// The built-in plans' names: bell, etsi, bt, dtmf, sensitivity,
// sensitivity-etsi, sensitivity-dtmf.
std::vector<std::string> BuiltInPlanNames();
// One built-in plan; nothing for an unknown name.
std::optional<TPlan> BuiltInPlan(const std::string& name);

// A plan from its JSON text (see README, "Receiver test bench"); throws
// RinglarkError "Plan NAME: reason" on anything wrong.
TPlan PlanFromJson(const std::string& text, const std::string& label);
nlohmann::json PlanJson(const TPlan& plan);
// The plan's own calibration: its "dbm_at_fs" parameter (3.14 without one).
double PlanDbmAtFs(const TPlan& plan);

// The name plan make gives run r (1-based) of condition i (0-based):
// "001-nominal-001.wav", characters other than letters, digits and - + . _
// of the condition's name as "_".
std::string PlanFileName(std::size_t condition, const std::string& name, int run);

// What one run sends: the message bytes (FSK) or digits (DTMF), and the
// number a receiver should show ("" when the message carries none).
struct TPlanSignal {
    TTestSignal Signal;
    std::string Number;
    Bytes Message;  // FSK bytes, or the DTMF digits
};
// Run r (0-based) of a condition: the noise seed advances with the run.
TPlanSignal PlanSignal(const TPlan& plan, const TPlanCondition& condition, int run, int rate);

}  // namespace ringlark
