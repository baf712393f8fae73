#pragma once

// A thin hold on libsqlite3: a connection and its prepared statements, every
// failure a RinglarkError that names the file and SQLite's reason.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace ringlark {

class TSqlStatement;

class TSqlDatabase {
  public:
    // Opens (and with create, makes) the database file.
    TSqlDatabase(const std::string& path, bool create);
    ~TSqlDatabase();
    TSqlDatabase(const TSqlDatabase&) = delete;
    TSqlDatabase& operator=(const TSqlDatabase&) = delete;

    // Statements without results, separated by semicolons.
    void Execute(const std::string& sql);
    int64_t IntegerOf(const std::string& sql);
    int64_t LastRowId() const;
    const std::string& Path() const { return path_; }
    sqlite3* Handle() const { return db_; }
    // Throws the error of the last call, with what was being done.
    [[noreturn]] void Fail(std::string_view doing) const;

  private:
    std::string path_;
    sqlite3* db_ = nullptr;
};

class TSqlStatement {
  public:
    TSqlStatement(TSqlDatabase& db, const std::string& sql);
    ~TSqlStatement();
    TSqlStatement(const TSqlStatement&) = delete;
    TSqlStatement& operator=(const TSqlStatement&) = delete;

    // Parameters count from 1; an empty optional binds NULL.
    void Bind(int index, const std::optional<std::string>& text);
    void Bind(int index, int64_t value);
    void Bind(int index, std::optional<double> value);
    void BindBlob(int index, std::string_view bytes);
    // One step: true while a row is there to read.
    bool Step();
    void Reset();

    // Columns count from 0.
    bool IsNull(int column) const;
    std::string Text(int column) const;
    std::string Blob(int column) const;
    int64_t Integer(int column) const;
    double Real(int column) const;

  private:
    TSqlDatabase& db_;
    sqlite3_stmt* stmt_ = nullptr;
};

}  // namespace ringlark
