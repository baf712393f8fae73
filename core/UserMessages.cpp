#include "core/UserMessages.h"

namespace ringlark::msg {

namespace {
std::string Fill(std::string_view before, std::string_view value, std::string_view after) {
    std::string text(before);
    text += value;
    text += after;
    return text;
}
}  // namespace

std::string CannotCreateFile(std::string_view path) {
    return Fill("Cannot create file ", path, "");
}
std::string CannotOpenFile(std::string_view path) {
    return Fill("Cannot open file ", path, "");
}
std::string CannotCreateFile(std::string_view path, std::string_view reason) {
    return Fill("Cannot create file ", path, ": " + std::string(reason));
}
std::string CannotOpenFile(std::string_view path, std::string_view reason) {
    return Fill("Cannot open file ", path, ": " + std::string(reason));
}
std::string StreamWriteFailed(std::string_view reason) {
    return Fill(StreamWriteError, ": ", reason);
}
std::string NotValidInteger(std::string_view text) {
    return Fill("'", text, "' is not a valid integer value");
}
std::string FailedToGetData(std::string_view valueName) {
    return Fill("Failed to get data for '", valueName, "'");
}
std::string InvalidDataType(std::string_view valueName) {
    return Fill("Invalid data type for '", valueName, "'");
}
std::string FailedToSetData(std::string_view valueName) {
    return Fill("Failed to set data for '", valueName, "'");
}

std::string NotARegularFile(std::string_view path) {
    return Fill("Cannot open file ", path, ": it is not a regular file");
}
std::string FileTooLarge(std::string_view path, std::string_view limit) {
    return Fill("Cannot open file ", path, ": it is larger than " + std::string(limit));
}
std::string FileExistsUseForce(std::string_view path) {
    return Fill("File ", path, " exists; use --force to replace it");
}

std::string StoreNotRead(std::string_view path, std::string_view reason) {
    return Fill("The configuration file ", path,
                " was not read: " + std::string(reason) +
                    ". It is left as it is, and settings changed now are not kept.");
}

std::string CallLogError(std::string_view path, std::string_view doing, std::string_view reason) {
    return Fill("The call log ", path, " " + std::string(doing) + ": " + std::string(reason));
}

std::string CallLogTooNew(std::string_view path, long version) {
    return Fill("The call log ", path,
                " was written by a later Ringlark (schema version " + std::to_string(version) +
                    ") and is left as it is");
}

std::string NoCallLog(std::string_view path) {
    return Fill("There is no call log at ", path, "");
}

std::string NotValidNumber(std::string_view text) {
    return Fill("'", text, "' is not a valid number");
}
std::string NotAnAbsenceCode(std::string_view text) {
    return Fill("'", text, "' is not a two-digit absence code");
}
std::string InputLost(int times) {
    return "input lost " + std::to_string(times) + (times == 1 ? " time" : " times");
}

std::string ValueOutOfRange(std::string_view option, std::string_view value, std::string_view min,
                            std::string_view max, std::string_view unit) {
    std::string text = Fill("--", option, " ");
    text +=
        std::string(value) + " is out of range: " + std::string(min) + " to " + std::string(max);
    return unit.empty() ? text : text + " " + std::string(unit);
}
std::string PeakAboveFullScale(std::string_view what, std::string_view peak) {
    return Fill("The level and twist put ", what,
                " above full scale (peak " + std::string(peak) + " of 1)");
}
std::string PlayWouldClip(std::string_view condition, std::string_view dbmAtFs,
                          std::string_view overDb) {
    return Fill("Condition ", condition,
                " would go " + std::string(overDb) + " dB past full scale at " +
                    std::string(dbmAtFs) +
                    " dBm for a full-scale sine: turn the sound card's output up and calibrate "
                    "it again");
}
std::string PlanNotRead(std::string_view plan, std::string_view reason) {
    return Fill("Plan ", plan, ": " + std::string(reason));
}
std::string UnknownPlan(std::string_view name, std::string_view known) {
    return Fill("No plan named ", name,
                " (built-in plans: " + std::string(known) + "; or a .json file or a folder)");
}

std::string SettingOutOfRange(std::string_view what, std::string_view value, std::string_view min,
                              std::string_view max, std::string_view unit) {
    std::string text = Fill("The ", what, " ");
    text +=
        std::string(value) + " is out of range: " + std::string(min) + " to " + std::string(max);
    return unit.empty() ? text : text + " " + std::string(unit);
}
std::string MinimumAboveMaximum(std::string_view minName, std::string_view min,
                                std::string_view maxName, std::string_view max) {
    return Fill("The ", minName,
                " (" + std::string(min) + ") is above the " + std::string(maxName) + " (" +
                    std::string(max) + ")");
}
std::string NotAnAckDigit(std::string_view text) {
    return Fill("'", text, "' is not an acknowledgement digit: use A, B, C or D");
}

}  // namespace ringlark::msg
