#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace a3::library {

// A database that could not be used or changed, with SQLite's reason.
class SqliteError : public std::runtime_error
{
public:
    explicit SqliteError(const std::string& what, int code = 0)
        : std::runtime_error(what)
        , _code(code)
    {}
    // Another program held the database for longer than one waits: nothing
    // is wrong with it.
    bool isBusy() const;
    // The database is damaged (not a database, or corrupt). Any other
    // failure (a full disk, a read-only folder, an I/O error) may pass.
    bool isDamage() const;
    int code() const { return _code; }

private:
    int _code; // SQLite's result code, or 0
};

// A prepared statement; every failure throws SqliteError.
class Statement
{
public:
    Statement(sqlite3* db, const char* sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Whether a row came.
    bool step();
    void reset();
    void bind(int index, std::int64_t value);
    void bind(int index, const std::string& text);
    void bind(int index, std::span<const std::uint8_t> bytes);
    void bindNull(int index);
    std::int64_t integer(int column) const;
    std::string text(int column) const;
    bool isNull(int column) const;
    std::span<const std::uint8_t> blob(int column) const;

private:
    void check(int code) const;

    sqlite3* _db;
    sqlite3_stmt* _statement = nullptr;
};

void execute(sqlite3* db, const char* sql);

// One write transaction, rolled back unless committed.
class Transaction
{
public:
    // Takes the write lock at once, so two writers wait rather than fail on
    // upgrading a read lock.
    explicit Transaction(sqlite3* db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

private:
    sqlite3* _db;
};

} // namespace a3::library
