#pragma once

#include <functional>
#include <map>
#include <string>

#include "ledger/store/database.h"

struct pg_conn;

namespace station::ledger {

// A PostgreSQL server through its client library. A transaction's commands go out in one
// pipeline, so a batch of rows costs one round trip, not one per row. Statements are prepared
// once they have been committed, not ahead: a transaction may make the table its next statement
// writes.
class PostgresDatabase final : public Database {
public:
    // Throws DatabaseError when the server cannot be reached or refuses.
    PostgresDatabase(const std::string& url, const std::string& password, DatabaseAccess access);
    ~PostgresDatabase() override;
    PostgresDatabase(const PostgresDatabase&) = delete;
    PostgresDatabase& operator=(const PostgresDatabase&) = delete;

    std::vector<std::uint64_t> Transact(const std::vector<Command>& commands) override;
    std::vector<Row> Query(const char* sql, const std::vector<Value>& values) override;
    std::string Server() const override;

private:
    [[noreturn]] void Fail(const std::string& what) const;
    std::string TransactOnce(const std::vector<Command>& commands,
                             std::vector<std::uint64_t>& changed, std::string& state);
    std::string Pipeline(const std::vector<Command>& commands,
                         const std::vector<std::size_t>& which, const char* begin, const char* end,
                         std::vector<std::uint64_t>& changed, std::string& state);
    void Prepare(const std::vector<Command>& commands);

    pg_conn* connection_ = nullptr;
    std::map<std::string, std::string, std::less<>> prepared_;  // a command's text → its name
};

}  // namespace station::ledger
