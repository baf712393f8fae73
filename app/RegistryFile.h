#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Bytes.h"

// The configuration keeps the layout of a registry hive: keys holding named values
// of a type. It is written in the registry's own plain-text export format:
//
//   REGEDIT4
//
//   [HKEY_LOCAL_MACHINE\Software\Ringlark\Config]
//   "Amplitude"=dword:0000003f
//   "1"="800-555-1212"
//
// so that each value keeps its type.
namespace ringlark {

enum class TRegType { String, Dword, Unreadable };

struct TRegValue {
    TRegType Type = TRegType::String;
    Bytes Text;           // String
    uint32_t Number = 0;  // Dword
    bool operator==(const TRegValue&) const = default;
};

struct TRegKey {
    // Value names in the order they were written or read.
    std::vector<std::pair<Bytes, TRegValue>> Values;
    // Lines under this key that named no value: what they held is lost.
    int DamagedLines = 0;
    const TRegValue* Find(std::string_view name) const;
    void Set(const Bytes& name, TRegValue value);
    bool operator==(const TRegKey&) const = default;
};

struct TRegistryDocument {
    // Full key paths, "HKEY_LOCAL_MACHINE\Software\Ringlark\Config", in order.
    std::vector<std::pair<Bytes, TRegKey>> Keys;
    // Lines outside any key that could not be understood.
    int DamagedLines = 0;

    const TRegKey* FindKey(std::string_view path) const;
    TRegKey& Key(const Bytes& path);
    bool operator==(const TRegistryDocument&) const = default;
};

// Never fails: a value whose data cannot be read keeps its name with the type
// Unreadable; a line with no name is counted as damaged and skipped.
TRegistryDocument ParseRegistryText(std::string_view text);
Bytes FormatRegistryText(const TRegistryDocument& document);

}  // namespace ringlark
