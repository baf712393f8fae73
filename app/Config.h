#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/RegistryFile.h"
#include "core/Bytes.h"
#include "protocol/Standards.h"
#include "testsignal/Impairments.h"

namespace ringlark {

// Ten recently used entries, position 0 the most recent; an empty text marks an
// empty position.
using TMRU = std::array<Bytes, 10>;

// Moves the entry to the front: a stored entry equal to it apart from letter
// case travels to the front in one pass; unless it is then equal byte for byte,
// the list moves down and the entry goes in front. Returns false (and changes
// nothing) for an empty entry.
bool BubbleMRU(TMRU& list, const Bytes& entry);

// The values the configuration keeps between runs.
struct TConfigValues {
    TMRU NumberMRU{};
    TMRU NameMRU{};
    TMRU AnalystMRU{};
    int32_t Amplitude = 63;
    int32_t Clip = 63;
    // The caller-ID system generated; stored (as "Standard") only when it is
    // not Bell 202, so a store written with the default is unchanged and an
    // earlier store, which lacks it, reads as Bell 202.
    TCidStandard Standard = TCidStandard::Bell202;
    // Values that earlier stores lack, each stored only when it is not its
    // default, so that a store written with the defaults is unchanged:
    // "EtsiAlert" = "dtas" when ETSI sends DT-AS before on-hook data;
    // "DtmfFraming" = "a-hash", "dc" or "hash"; "DtmfUnavailableCode" and
    // "DtmfPrivateCode", two digits each (B<code>C); "DbmAtFullScale", the
    // level in dBm of a full-scale sine ("-7.3"), when levels are calibrated.
    bool EtsiAlert = false;
    TDtmfFraming DtmfFraming = TDtmfFraming::StartAEndC;
    TDtmfAbsenceCodes DtmfCodes;
    std::optional<double> DbmAtFullScale;
    // The impairments the desktop's generation applies (Options, Test
    // Signal), all off by default. Stored only when one is set, in a key of
    // its own ("TestSignal") that earlier stores lack: one text value per
    // impairment named as its option ("twist-db" = "-6"), "seed", and
    // "telephone-band" = "1".
    TImpairments TestSignal;
    // The line monitor's settings, each stored only when it is not its
    // default: "MonitorLogFile" (the call log's file, when not the default
    // one), "MonitorNotify" = "off", "MonitorHook" (the command run per message).
    std::string MonitorLogFile;
    bool MonitorNotify = true;
    std::string MonitorHook;
};

// Two digits: an absence code of DTMF caller ID.
bool IsDtmfAbsenceCode(std::string_view text);
// A finite number in plain decimal notation ("-7.3"); nothing otherwise.
std::optional<double> DecimalValue(std::string_view text);

inline constexpr std::string_view ConfigRoot = "HKEY_LOCAL_MACHINE\\Software\\Ringlark";

// The configuration store: a registry-shaped document kept somewhere.
class IConfigStore {
  public:
    virtual ~IConfigStore() = default;
    // Nothing when no configuration has been stored yet.
    virtual std::optional<TRegistryDocument> Load() = 0;
    // false when the document could not be written; the previous one then stays.
    virtual bool Save(const TRegistryDocument& document) = 0;
    // What was read had errors: before the next save overwrites it, the store
    // keeps a copy of it. Returns the text that tells the user where, if any.
    virtual std::optional<std::string> KeepCopyBeforeNextSave() { return std::nullopt; }
};

// The store as a file in the registry's export format ("ringlark.reg"). Saves go
// to a temporary file renamed into place.
//
// A file that exists but cannot be read (not a regular file, unreadable, over
// MaxFileSize) is never overwritten: Load throws RinglarkError saying so, and
// every later Save is refused with the same reason. A symbolic link is followed
// when writing, also one whose target does not exist yet.
class TRegFileStore : public IConfigStore {
  public:
    static constexpr std::size_t MaxFileSize = 4u << 20;
    // earlierPath: where an earlier version kept the store; read when nothing
    // is stored at path yet, and the next save goes to path.
    explicit TRegFileStore(std::string path, std::string earlierPath = {})
        : path_(std::move(path)), earlierPath_(std::move(earlierPath)) {}
    std::optional<TRegistryDocument> Load() override;
    bool Save(const TRegistryDocument& document) override;
    std::optional<std::string> KeepCopyBeforeNextSave() override;
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
    std::string earlierPath_;
    std::string refusal_;  // why the file must not be overwritten
    bool copyPending_ = false;
};

// Recently-used entries longer than this are cut when read: the lists hold
// numbers, names and file names, and a huge entry would be converted for the
// combo boxes again and again.
inline constexpr std::size_t MaxMruEntryBytes = 512;

TRegistryDocument ConfigDocument(const TConfigValues& values);

// Reads the configuration into values. Every value that cannot be read is
// reported ("Failed to get data for '%s'", "Invalid data type for '%s'") and
// keeps its default; reading goes on with the rest. When nothing is stored the
// defaults are saved at once. Returns the errors in the order met.
std::vector<std::string> GetConfig(IConfigStore& store, TConfigValues& values);

// Throws RinglarkError "Failed to set data for '1'" when the store cannot be written.
void SaveConfig(IConfigStore& store, const TConfigValues& values);

}  // namespace ringlark
