#pragma once

#include <string>
#include <string_view>

// Every fixed text that the general error reporting shows, in one place.
namespace ringlark::msg {

std::string CannotCreateFile(std::string_view path);
std::string CannotOpenFile(std::string_view path);
// The texts above with the reason after them: "Cannot open file X: reason".
std::string CannotCreateFile(std::string_view path, std::string_view reason);
std::string CannotOpenFile(std::string_view path, std::string_view reason);
// "Stream write error: reason".
std::string StreamWriteFailed(std::string_view reason);
inline constexpr std::string_view StreamWriteError = "Stream write error";
inline constexpr std::string_view OutOfMemoryStream = "Out of memory while expanding memory stream";
std::string NotValidInteger(std::string_view text);
std::string FailedToGetData(std::string_view valueName);
std::string InvalidDataType(std::string_view valueName);
std::string FailedToSetData(std::string_view valueName);
std::string NotARegularFile(std::string_view path);
std::string FileTooLarge(std::string_view path, std::string_view limit);
std::string FileExistsUseForce(std::string_view path);
std::string StoreNotRead(std::string_view path, std::string_view reason);
// "The call log PATH cannot be opened: REASON" (doing: "cannot be opened"...).
std::string CallLogError(std::string_view path, std::string_view doing, std::string_view reason);
// A log written by a later Ringlark, whose schema this one does not know.
std::string CallLogTooNew(std::string_view path, long version);
std::string NoCallLog(std::string_view path);
// "input lost 1 time", "input lost 3 times": samples the sound input dropped
// because they were not read in time.
std::string InputLost(int times);
// "'%s' is not a valid number", "'%s' is not a two-digit absence code".
std::string NotValidNumber(std::string_view text);
std::string NotAnAbsenceCode(std::string_view text);

// The receiver test bench (testsignal/).
// "--twist-db 30 is out of range: -20 to 20 dB".
std::string ValueOutOfRange(std::string_view option, std::string_view value, std::string_view min,
                            std::string_view max, std::string_view unit);
// "The level and twist put the FSK tones above full scale (peak 1.41)".
std::string PeakAboveFullScale(std::string_view what, std::string_view peak);
// "Plan FILE: reason".
std::string PlanNotRead(std::string_view plan, std::string_view reason);
std::string UnknownPlan(std::string_view name, std::string_view known);
// "Condition level-max would go 1.3 dB past full scale at -10 dBm for a
// full-scale sine: turn the sound card's output up and calibrate it again".
std::string PlayWouldClip(std::string_view condition, std::string_view dbmAtFs,
                          std::string_view overDb);
// Playing a plan to a device, the operator answering at the terminal.
inline constexpr std::string_view PlayQuestion =
    "What did the device show? [a]ccepted, [n]othing, [w]rong, [r]eplay, [q]uit: ";
inline constexpr std::string_view PlayAnswerUnknown =
    "Answer a (the number was shown), n (nothing shown), w (something else shown), r (play it "
    "again) or q (stop and write the report).";
inline constexpr std::string_view PlayInputEnded =
    "The answers ended before the plan did: the report covers the runs answered.";

// The call-waiting handshake (handshake/).
// "The CAS length 0 ms is out of range: 1 to 10000 ms".
std::string SettingOutOfRange(std::string_view what, std::string_view value, std::string_view min,
                              std::string_view max, std::string_view unit);
// "The shortest ACK (70) is above the longest ACK (65)".
std::string MinimumAboveMaximum(std::string_view minName, std::string_view min,
                                std::string_view maxName, std::string_view max);
// "'E' is not an acknowledgement digit: use A, B, C or D".
std::string NotAnAckDigit(std::string_view text);

}  // namespace ringlark::msg
