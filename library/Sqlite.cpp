#include "Sqlite.h"

#include <sqlite3.h>
#include <utility>

namespace a3::library {

bool SqliteError::isBusy() const
{
    return (_code & 0xFF) == SQLITE_BUSY || (_code & 0xFF) == SQLITE_LOCKED;
}

bool SqliteError::isDamage() const
{
    return (_code & 0xFF) == SQLITE_CORRUPT || (_code & 0xFF) == SQLITE_NOTADB;
}

Statement::Statement(sqlite3* db, const char* sql)
    : _db(db)
{
    check(sqlite3_prepare_v2(db, sql, -1, &_statement, nullptr));
}

Statement::~Statement()
{
    sqlite3_finalize(_statement);
}

void Statement::check(int code) const
{
    if (code != SQLITE_OK && code != SQLITE_ROW && code != SQLITE_DONE) {
        throw SqliteError(sqlite3_errmsg(_db), code);
    }
}

bool Statement::step()
{
    const int code = sqlite3_step(_statement);
    check(code);
    return code == SQLITE_ROW;
}

void Statement::reset()
{
    sqlite3_reset(_statement);
}

void Statement::bind(int index, std::int64_t value)
{
    check(sqlite3_bind_int64(_statement, index, value));
}

void Statement::bind(int index, const std::string& text)
{
    check(sqlite3_bind_text(_statement, index, text.data(), static_cast<int>(text.size()),
                            SQLITE_TRANSIENT));
}

void Statement::bind(int index, std::span<const std::uint8_t> bytes)
{
    check(sqlite3_bind_blob(_statement, index, bytes.data(), static_cast<int>(bytes.size()),
                            SQLITE_TRANSIENT));
}

void Statement::bindNull(int index)
{
    check(sqlite3_bind_null(_statement, index));
}

std::int64_t Statement::integer(int column) const
{
    return sqlite3_column_int64(_statement, column);
}

std::string Statement::text(int column) const
{
    const auto* bytes = sqlite3_column_text(_statement, column);
    return bytes ? std::string(reinterpret_cast<const char*>(bytes),
                               static_cast<std::size_t>(sqlite3_column_bytes(_statement, column)))
                 : std::string();
}

bool Statement::isNull(int column) const
{
    return sqlite3_column_type(_statement, column) == SQLITE_NULL;
}

std::span<const std::uint8_t> Statement::blob(int column) const
{
    const auto* bytes = static_cast<const std::uint8_t*>(sqlite3_column_blob(_statement, column));
    return {bytes, static_cast<std::size_t>(sqlite3_column_bytes(_statement, column))};
}

void execute(sqlite3* db, const char* sql)
{
    char* message = nullptr;
    if (const int code = sqlite3_exec(db, sql, nullptr, nullptr, &message); code != SQLITE_OK) {
        std::string reason = message ? message : sqlite3_errmsg(db);
        sqlite3_free(message);
        throw SqliteError(reason, code);
    }
}

Transaction::Transaction(sqlite3* db)
    : _db(db)
{
    execute(db, "BEGIN IMMEDIATE");
}

Transaction::~Transaction()
{
    if (_db) {
        sqlite3_exec(_db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
}

void Transaction::commit()
{
    execute(std::exchange(_db, nullptr), "COMMIT");
}

} // namespace a3::library
