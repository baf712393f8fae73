#include "calllog/CallLog.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "core/RinglarkError.h"
#include "core/UserMessages.h"

namespace ringlark {

namespace {

const char* const kVersion1 =
    "CREATE TABLE calls ("
    " id INTEGER PRIMARY KEY,"
    " heard_utc TEXT NOT NULL,"
    " input TEXT NOT NULL,"
    " offset_seconds REAL NOT NULL,"
    " standard TEXT NOT NULL,"
    " kind TEXT NOT NULL,"
    " number TEXT NOT NULL,"
    " name TEXT NOT NULL,"
    " message_time TEXT NOT NULL,"
    " number_absent TEXT NOT NULL,"
    " name_absent TEXT NOT NULL,"
    " checksum TEXT NOT NULL,"
    " quality REAL,"
    " uncertain INTEGER NOT NULL,"
    " raw BLOB NOT NULL,"
    " details TEXT NOT NULL);"
    "CREATE INDEX calls_by_time ON calls(heard_utc);"
    "PRAGMA user_version = 1;";

const char* const kVersion2 =
    "ALTER TABLE calls ADD COLUMN contact TEXT NOT NULL DEFAULT '';"
    "CREATE TABLE contacts ("
    " id INTEGER PRIMARY KEY,"
    " name TEXT NOT NULL,"
    " number TEXT NOT NULL,"
    " number_key TEXT NOT NULL);"
    "CREATE INDEX contacts_by_key ON contacts(number_key);"
    "CREATE TABLE settings (key TEXT PRIMARY KEY, value TEXT NOT NULL);"
    "PRAGMA user_version = 2;";

// Messages read whole but refused are kept too, with the reason.
const char* const kVersion3 =
    "ALTER TABLE calls ADD COLUMN refused TEXT NOT NULL DEFAULT '';"
    "PRAGMA user_version = 3;";

const char* const kColumns =
    "id, heard_utc, input, offset_seconds, standard, kind, number, name, message_time, "
    "number_absent, name_absent, checksum, quality, uncertain, raw, details, contact, refused";

std::string OpenPath(const std::string& path, bool create) {
    if (!create && !std::filesystem::exists(path)) {
        throw RinglarkError(msg::NoCallLog(path));
    }
    if (create) {
        const auto folder = std::filesystem::path(path).parent_path();
        std::error_code ignored;
        if (!folder.empty()) {
            std::filesystem::create_directories(folder, ignored);
        }
    }
    return path;
}

}  // namespace

TCallLog::TCallLog(const std::string& path, bool create) : db_(OpenPath(path, create), create) {
    db_.Execute("PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL;");
    Migrate();
}

void TCallLog::Migrate() {
    // Up to date: nothing to write, so a reader never waits for the writer.
    const int64_t current = db_.IntegerOf("PRAGMA user_version");
    if (current == SchemaVersion) {
        return;
    }
    if (current > SchemaVersion) {
        throw RinglarkError(msg::CallLogTooNew(db_.Path(), static_cast<long>(current)));
    }
    db_.Execute("BEGIN IMMEDIATE");
    try {
        const int64_t version = db_.IntegerOf("PRAGMA user_version");
        if (version > SchemaVersion) {
            throw RinglarkError(msg::CallLogTooNew(db_.Path(), static_cast<long>(version)));
        }
        if (version < 1) {
            db_.Execute(kVersion1);
        }
        if (version < 2) {
            db_.Execute(kVersion2);
        }
        if (version < 3) {
            db_.Execute(kVersion3);
        }
        db_.Execute("COMMIT");
    } catch (...) {
        db_.Execute("ROLLBACK");
        throw;
    }
}

void TCallLog::Append(TCallRecord& r) {
    TSqlStatement insert(db_,
                         "INSERT INTO calls (heard_utc, input, offset_seconds, standard, kind, "
                         "number, name, message_time, number_absent, name_absent, checksum, "
                         "quality, uncertain, raw, details, contact, refused) VALUES "
                         "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    int i = 1;
    for (const std::string* text : {&r.HeardUtc, &r.Input}) {
        insert.Bind(i++, std::optional<std::string>(*text));
    }
    insert.Bind(i++, std::optional<double>(r.Offset));
    for (const std::string* text : {&r.Standard, &r.Kind, &r.Number, &r.Name, &r.MessageTime,
                                    &r.NumberAbsent, &r.NameAbsent, &r.Checksum}) {
        insert.Bind(i++, std::optional<std::string>(*text));
    }
    insert.Bind(i++, r.Quality);
    insert.Bind(i++, int64_t{r.Uncertain ? 1 : 0});
    insert.BindBlob(i++, r.Raw);
    insert.Bind(i++, std::optional<std::string>(r.Details));
    insert.Bind(i++, std::optional<std::string>(r.Contact));
    insert.Bind(i++, std::optional<std::string>(r.Refused));
    db_.Execute("BEGIN IMMEDIATE");
    try {
        insert.Step();
        r.Id = db_.LastRowId();
        db_.Execute("COMMIT");
    } catch (...) {
        db_.Execute("ROLLBACK");
        throw;
    }
}

std::vector<TCallRecord> TCallLog::Find(const TCallFilter& filter) {
    std::string sql = std::string("SELECT ") + kColumns + " FROM calls WHERE 1";
    std::vector<std::string> values;
    if (filter.SinceUtc) {
        sql += " AND heard_utc >= ?";
        values.push_back(*filter.SinceUtc);
    }
    if (filter.UntilUtc) {
        sql += " AND heard_utc < ?";
        values.push_back(*filter.UntilUtc);
    }
    if (!filter.Number.empty()) {
        sql += " AND instr(number, ?) > 0";
        values.push_back(filter.Number);
    }
    if (!filter.Name.empty()) {
        sql += " AND (instr(lower(name), lower(?)) > 0 OR instr(lower(contact), lower(?)) > 0)";
        values.push_back(filter.Name);
        values.push_back(filter.Name);
    }
    sql += " ORDER BY heard_utc DESC, id DESC";
    if (filter.Limit > 0) {
        sql += " LIMIT " + std::to_string(filter.Limit);
    }
    TSqlStatement select(db_, sql);
    for (std::size_t i = 0; i < values.size(); ++i) {
        select.Bind(static_cast<int>(i + 1), std::optional<std::string>(values[i]));
    }
    std::vector<TCallRecord> rows;
    while (select.Step()) {
        TCallRecord r;
        r.Id = select.Integer(0);
        r.HeardUtc = select.Text(1);
        r.Input = select.Text(2);
        r.Offset = select.Real(3);
        r.Standard = select.Text(4);
        r.Kind = select.Text(5);
        r.Number = select.Text(6);
        r.Name = select.Text(7);
        r.MessageTime = select.Text(8);
        r.NumberAbsent = select.Text(9);
        r.NameAbsent = select.Text(10);
        r.Checksum = select.Text(11);
        if (!select.IsNull(12)) {
            r.Quality = select.Real(12);
        }
        r.Uncertain = select.Integer(13) != 0;
        r.Raw = select.Blob(14);
        r.Details = select.Text(15);
        r.Contact = select.Text(16);
        r.Refused = select.Text(17);
        rows.push_back(std::move(r));
    }
    return {rows.rbegin(), rows.rend()};
}

std::string DefaultCallLogPath() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') {
        return std::string(config) + "/Ringlark/calls.sqlite";
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') {
        return std::string(home) + "/.config/Ringlark/calls.sqlite";
    }
    return {};
}

std::optional<std::string> LocalDateToUtc(const std::string& text, bool endOfDay) {
    if (ParseUtcText(text)) {
        return text;
    }
    // Whether the whole text has the form, each number read into its field.
    std::tm local{};
    const auto reads = [&](const char* format, int fields) {
        local = std::tm{};
        int used = 0;
        const int got =
            std::sscanf(text.c_str(), format, &local.tm_year, &local.tm_mon, &local.tm_mday,
                        &local.tm_hour, &local.tm_min, &local.tm_sec, &used);
        return got == fields && static_cast<std::size_t>(used) == text.size();
    };
    // The shorter forms' %n land in the fields they do not have: zeroed after.
    bool dayOnly = false;
    if (reads("%4d-%2d-%2d %2d:%2d:%2d%n", 6)) {
    } else if (reads("%4d-%2d-%2d %2d:%2d%n%n", 5)) {
        local.tm_sec = 0;
    } else if (reads("%4d-%2d-%2d%n%n%n%n", 3)) {
        local.tm_hour = local.tm_min = local.tm_sec = 0;
        dayOnly = true;
    } else {
        return std::nullopt;
    }
    local.tm_isdst = -1;
    if (local.tm_mon < 1 || local.tm_mon > 12 || local.tm_mday < 1 || local.tm_mday > 31 ||
        local.tm_hour > 23 || local.tm_min > 59 || local.tm_sec > 60) {
        return std::nullopt;
    }
    local.tm_year -= 1900;
    local.tm_mon -= 1;
    if (dayOnly && endOfDay) {
        local.tm_mday += 1;
    }
    const std::time_t when = std::mktime(&local);
    if (when == -1) {
        return std::nullopt;
    }
    return UtcText(std::chrono::system_clock::from_time_t(when));
}

}  // namespace ringlark
