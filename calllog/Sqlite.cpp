#include "calllog/Sqlite.h"

#include <sqlite3.h>

#include "core/RinglarkError.h"
#include "core/UserMessages.h"

namespace ringlark {

TSqlDatabase::TSqlDatabase(const std::string& path, bool create) : path_(path) {
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
    if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
        const std::string reason = db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        db_ = nullptr;
        throw RinglarkError(msg::CallLogError(path, "cannot be opened", reason));
    }
    sqlite3_extended_result_codes(db_, 1);
    // A reader and the monitor's writer may meet: wait for each other a while.
    sqlite3_busy_timeout(db_, 5000);
}

TSqlDatabase::~TSqlDatabase() {
    sqlite3_close_v2(db_);
}

void TSqlDatabase::Fail(std::string_view doing) const {
    throw RinglarkError(msg::CallLogError(path_, doing, sqlite3_errmsg(db_)));
}

void TSqlDatabase::Execute(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string reason = error != nullptr ? error : sqlite3_errmsg(db_);
        sqlite3_free(error);
        throw RinglarkError(msg::CallLogError(path_, "cannot be written", reason));
    }
}

int64_t TSqlDatabase::IntegerOf(const std::string& sql) {
    TSqlStatement statement(*this, sql);
    return statement.Step() ? statement.Integer(0) : 0;
}

int64_t TSqlDatabase::LastRowId() const {
    return sqlite3_last_insert_rowid(db_);
}

TSqlStatement::TSqlStatement(TSqlDatabase& db, const std::string& sql) : db_(db) {
    if (sqlite3_prepare_v2(db.Handle(), sql.c_str(), -1, &stmt_, nullptr) != SQLITE_OK) {
        db.Fail("cannot be read");
    }
}

TSqlStatement::~TSqlStatement() {
    sqlite3_finalize(stmt_);
}

void TSqlStatement::Bind(int index, const std::optional<std::string>& text) {
    const int rc = text ? sqlite3_bind_text(stmt_, index, text->data(),
                                            static_cast<int>(text->size()), SQLITE_TRANSIENT)
                        : sqlite3_bind_null(stmt_, index);
    if (rc != SQLITE_OK) {
        db_.Fail("cannot be written");
    }
}

void TSqlStatement::Bind(int index, int64_t value) {
    if (sqlite3_bind_int64(stmt_, index, value) != SQLITE_OK) {
        db_.Fail("cannot be written");
    }
}

void TSqlStatement::Bind(int index, std::optional<double> value) {
    const int rc =
        value ? sqlite3_bind_double(stmt_, index, *value) : sqlite3_bind_null(stmt_, index);
    if (rc != SQLITE_OK) {
        db_.Fail("cannot be written");
    }
}

void TSqlStatement::BindBlob(int index, std::string_view bytes) {
    if (sqlite3_bind_blob(stmt_, index, bytes.data(), static_cast<int>(bytes.size()),
                          SQLITE_TRANSIENT) != SQLITE_OK) {
        db_.Fail("cannot be written");
    }
}

bool TSqlStatement::Step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) {
        return true;
    }
    if (rc == SQLITE_DONE) {
        return false;
    }
    db_.Fail("cannot be read or written");
}

void TSqlStatement::Reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

bool TSqlStatement::IsNull(int column) const {
    return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

std::string TSqlStatement::Text(int column) const {
    const auto* text = sqlite3_column_text(stmt_, column);
    const int size = sqlite3_column_bytes(stmt_, column);
    return text == nullptr
               ? std::string()
               : std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(size));
}

std::string TSqlStatement::Blob(int column) const {
    const void* data = sqlite3_column_blob(stmt_, column);
    const int size = sqlite3_column_bytes(stmt_, column);
    return data == nullptr
               ? std::string()
               : std::string(static_cast<const char*>(data), static_cast<std::size_t>(size));
}

int64_t TSqlStatement::Integer(int column) const {
    return sqlite3_column_int64(stmt_, column);
}

double TSqlStatement::Real(int column) const {
    return sqlite3_column_double(stmt_, column);
}

}  // namespace ringlark
