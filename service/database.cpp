#include "database.h"

#include <sqlite3.h>

#include <utility>

namespace kovasvc {

Statement::Statement(Statement&& other) noexcept
    : db_(std::exchange(other.db_, nullptr)), stmt_(std::exchange(other.stmt_, nullptr)) {}

Statement& Statement::operator=(Statement&& other) noexcept {
    if (this != &other) {
        if (stmt_) sqlite3_finalize(stmt_);
        db_ = std::exchange(other.db_, nullptr);
        stmt_ = std::exchange(other.stmt_, nullptr);
    }
    return *this;
}

Statement::~Statement() {
    if (stmt_) sqlite3_finalize(stmt_);
}

Statement& Statement::Bind(int index, const std::string& text) {
    if (stmt_) sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
}

Statement& Statement::Bind(int index, std::int64_t value) {
    if (stmt_) sqlite3_bind_int64(stmt_, index, value);
    return *this;
}

Statement& Statement::BindBlob(int index, const std::string& bytes) {
    if (stmt_) sqlite3_bind_blob(stmt_, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
    return *this;
}

Statement& Statement::BindNull(int index) {
    if (stmt_) sqlite3_bind_null(stmt_, index);
    return *this;
}

int Statement::Step() { return stmt_ ? sqlite3_step(stmt_) : SQLITE_MISUSE; }

bool Statement::Next() { return Step() == SQLITE_ROW; }

bool Statement::Run() { return Step() == SQLITE_DONE; }

std::string Statement::Text(int column) const {
    const unsigned char* p = sqlite3_column_text(stmt_, column);
    if (!p) return {};
    return std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(sqlite3_column_bytes(stmt_, column)));
}

std::string Statement::Blob(int column) const {
    const void* p = sqlite3_column_blob(stmt_, column);
    if (!p) return {};
    return std::string(static_cast<const char*>(p), static_cast<size_t>(sqlite3_column_bytes(stmt_, column)));
}

std::int64_t Statement::Int(int column) const { return sqlite3_column_int64(stmt_, column); }

bool Statement::IsNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }

Database::Database(Database&& other) noexcept
    : db_(std::exchange(other.db_, nullptr)), error_(std::move(other.error_)) {}

Database& Database::operator=(Database&& other) noexcept {
    if (this != &other) {
        if (db_) sqlite3_close(db_);
        db_ = std::exchange(other.db_, nullptr);
        error_ = std::move(other.error_);
    }
    return *this;
}

Database::~Database() {
    if (db_) sqlite3_close(db_);
}

bool Database::Open(const std::string& path, bool create) {
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        error_ = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        if (db) sqlite3_close(db);
        return false;
    }
    if (db_) sqlite3_close(db_);
    db_ = db;
    sqlite3_busy_timeout(db_, 5000);
    return Exec("PRAGMA journal_mode=WAL; PRAGMA foreign_keys=ON; PRAGMA synchronous=NORMAL;");
}

bool Database::Exec(const std::string& sql) {
    char* msg = nullptr;
    int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &msg);
    if (rc != SQLITE_OK) {
        error_ = msg ? msg : sqlite3_errstr(rc);
        sqlite3_free(msg);
        return false;
    }
    return true;
}

Statement Database::Prepare(const std::string& sql) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &stmt, nullptr) != SQLITE_OK) {
        error_ = sqlite3_errmsg(db_);
        return {};
    }
    return Statement(db_, stmt);
}

std::int64_t Database::Changes() const { return sqlite3_changes64(db_); }

std::string Database::LastError() const {
    return error_.empty() && db_ ? std::string(sqlite3_errmsg(db_)) : error_;
}

Transaction::Transaction(Database& db) : db_(db) { began_ = db_.Exec("BEGIN IMMEDIATE"); }

Transaction::~Transaction() {
    if (began_ && !done_) db_.Exec("ROLLBACK");
}

bool Transaction::Commit() {
    if (!began_ || done_) return false;
    done_ = db_.Exec("COMMIT");
    return done_;
}

} // namespace kovasvc
