// A thin, move-only wrapper over one SQLite connection and its statements.
// Failures come back as false / SQLITE_* codes with the text in LastError().
#pragma once

#include <cstdint>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace kovasvc {

class Statement {
public:
    Statement() = default;
    Statement(sqlite3* db, sqlite3_stmt* stmt) : db_(db), stmt_(stmt) {}
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&& other) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement();

    bool Valid() const { return stmt_ != nullptr; }
    // 1-based parameter index, as SQLite counts.
    Statement& Bind(int index, const std::string& text);
    Statement& Bind(int index, std::int64_t value);
    Statement& BindBlob(int index, const std::string& bytes);
    Statement& BindNull(int index);
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int Step();
    // True while a row is available.
    bool Next();
    // Step() expecting no row; true on SQLITE_DONE.
    bool Run();
    // 0-based column index; NULL reads as empty / 0.
    std::string Text(int column) const;
    std::string Blob(int column) const;
    std::int64_t Int(int column) const;
    bool IsNull(int column) const;

private:
    sqlite3* db_ = nullptr;
    sqlite3_stmt* stmt_ = nullptr;
};

class Database {
public:
    Database() = default;
    Database(Database&& other) noexcept;
    Database& operator=(Database&& other) noexcept;
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;
    ~Database();

    // Opens (creating when `create`) the file; sets WAL, foreign keys and a busy
    // timeout so a concurrent admin command waits instead of failing.
    bool Open(const std::string& path, bool create);
    bool Exec(const std::string& sql);
    Statement Prepare(const std::string& sql);
    std::int64_t Changes() const;
    std::string LastError() const;

private:
    sqlite3* db_ = nullptr;
    std::string error_;
};

// Runs BEGIN IMMEDIATE at construction and ROLLBACK at destruction unless
// Commit() succeeded: an early return never leaves a transaction open.
class Transaction {
public:
    explicit Transaction(Database& db);
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    ~Transaction();
    bool Began() const { return began_; }
    bool Commit();

private:
    Database& db_;
    bool began_ = false;
    bool done_ = false;
};

} // namespace kovasvc
