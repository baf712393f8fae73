#pragma once

// The call log: one SQLite file, one row per message or alert tone heard.
// Each row is written in its own transaction as it comes, in WAL mode, so that
// a reader can look while a monitor writes and a killed monitor loses nothing
// it had reported. The schema carries its version (PRAGMA user_version); an
// older file is brought up to date when it is opened.
//
// Version 1: the table calls. Version 2: calls.contact, the phone book
// (contacts) and the settings that say how numbers compare (settings).
#include <optional>
#include <string>
#include <vector>

#include "calllog/CallRecord.h"
#include "calllog/Sqlite.h"

namespace ringlark {

struct TCallFilter {
    std::optional<std::string> SinceUtc, UntilUtc;  // from (inclusive), to (exclusive)
    std::string Number;                             // digits the number contains
    std::string Name;  // text the name or the contact's name contains (any case)
    int Limit = 0;     // the latest so many; 0: all
};

class TCallLog {
  public:
    static constexpr int SchemaVersion = 3;

    // Opens the file, creating it (and its folder) with create; throws
    // RinglarkError when it cannot, or when a later Ringlark wrote it.
    TCallLog(const std::string& path, bool create);

    // Writes the row in a transaction of its own and gives it its id.
    void Append(TCallRecord& record);
    // The rows that pass the filter, oldest first.
    std::vector<TCallRecord> Find(const TCallFilter& filter);

    TSqlDatabase& Database() { return db_; }

  private:
    void Migrate();
    TSqlDatabase db_;
};

// The default place of the call log and phone book: beside the desktop
// program's configuration, $XDG_CONFIG_HOME/Ringlark/calls.sqlite or
// ~/.config/Ringlark/calls.sqlite; empty when neither is known.
std::string DefaultCallLogPath();

// "2026-12-07" (the start of that local day; with endOfDay, the start of the
// next), "2026-12-07 19:30[:15]" (local) or an ISO 8601 UTC text, as the log's
// UTC text; nullopt when it is none of these.
std::optional<std::string> LocalDateToUtc(const std::string& text, bool endOfDay);

}  // namespace ringlark
