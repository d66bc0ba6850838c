#pragma once

#include <memory>
#include <string>
#include <unordered_map>

#include "ledger/store/database.h"

struct sqlite3;

namespace station::ledger {

// One SQLite file in write-ahead-log mode, with every commit synced: a weighing counts only once
// it is on disk. The file is made when missing; its folder must be there.
class SqliteDatabase final : public Database {
public:
    // Throws DatabaseError.
    SqliteDatabase(const std::string& path, DatabaseAccess access);
    ~SqliteDatabase() override;
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    std::vector<std::uint64_t> Transact(const std::vector<Command>& commands) override;
    std::vector<Row> Query(const char* sql, const std::vector<Value>& values) override;
    std::string Server() const override { return {}; }

private:
    class Statement;

    Statement& Prepared(const char* sql);
    void Execute(const char* sql);
    [[noreturn]] void Fail(const std::string& what) const;

    sqlite3* db_ = nullptr;
    std::unordered_map<std::string, std::unique_ptr<Statement>> statements_;
};

}  // namespace station::ledger
