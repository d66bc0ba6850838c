#include "ledger/sqlite_database.h"

#include <sqlite3.h>

#include <filesystem>

namespace station::ledger {
namespace {

// Long enough for another process's commit, short enough to say that the file is held.
constexpr int kBusyWaitMs = 5000;

}  // namespace

class SqliteDatabase::Statement {
public:
    Statement(sqlite3* db, const char* sql) {
        if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement_, nullptr) !=
            SQLITE_OK) {
            throw DatabaseError(sqlite3_errmsg(db));
        }
    }
    ~Statement() { sqlite3_finalize(statement_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    sqlite3_stmt* Bound(const std::vector<Value>& values) {
        sqlite3_reset(statement_);
        sqlite3_clear_bindings(statement_);
        int index = 1;
        for (const Value& value : values) {
            int result = SQLITE_OK;
            if (const auto* number = std::get_if<std::int64_t>(&value)) {
                result = sqlite3_bind_int64(statement_, index, *number);
            } else if (const auto* real = std::get_if<double>(&value)) {
                result = sqlite3_bind_double(statement_, index, *real);
            } else if (const auto* text = std::get_if<std::string>(&value)) {
                result = sqlite3_bind_text64(statement_, index, text->data(), text->size(),
                                             SQLITE_TRANSIENT, SQLITE_UTF8);
            } else {
                result = sqlite3_bind_null(statement_, index);
            }
            if (result != SQLITE_OK) {
                throw DatabaseError(sqlite3_errstr(result));
            }
            ++index;
        }
        return statement_;
    }

private:
    sqlite3_stmt* statement_ = nullptr;
};

SqliteDatabase::SqliteDatabase(const std::string& path) {
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::error_code ignored;  // a folder that cannot be made shows as a file that cannot be opened
    if (!folder.empty()) {
        std::filesystem::create_directories(folder, ignored);
    }
    if (sqlite3_open_v2(path.c_str(), &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        const std::string problem = db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        throw DatabaseError("cannot open " + path + ": " + problem);
    }
    try {
        sqlite3_busy_timeout(db_, kBusyWaitMs);
        Execute("PRAGMA journal_mode=WAL");
        Execute("PRAGMA synchronous=FULL");
    } catch (...) {
        sqlite3_close(db_);
        throw;
    }
}

SqliteDatabase::~SqliteDatabase() {
    statements_.clear();
    sqlite3_close(db_);
}

void SqliteDatabase::Fail(const std::string& what) const {
    throw DatabaseError(what + ": " + sqlite3_errmsg(db_));
}

void SqliteDatabase::Execute(const char* sql) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
        Fail(sql);
    }
}

SqliteDatabase::Statement& SqliteDatabase::Prepared(const char* sql) {
    auto found = statements_.find(sql);
    if (found == statements_.end()) {
        found = statements_.emplace(sql, std::make_unique<Statement>(db_, sql)).first;
    }
    return *found->second;
}

void SqliteDatabase::Transact(const std::vector<Command>& commands) {
    Execute("BEGIN IMMEDIATE");
    try {
        for (const Command& command : commands) {
            sqlite3_stmt* statement = Prepared(command.sql).Bound(command.values);
            if (sqlite3_step(statement) != SQLITE_DONE) {
                Fail(command.sql);
            }
        }
        Execute("COMMIT");
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

std::vector<Row> SqliteDatabase::Query(const char* sql, const std::vector<Value>& values) {
    sqlite3_stmt* statement = Prepared(sql).Bound(values);
    std::vector<Row> rows;
    int result;
    while ((result = sqlite3_step(statement)) == SQLITE_ROW) {
        Row& row = rows.emplace_back();
        for (int column = 0; column < sqlite3_column_count(statement); ++column) {
            const unsigned char* text = sqlite3_column_text(statement, column);
            if (text == nullptr) {
                row.emplace_back();
            } else {
                row.emplace_back(
                    std::string(reinterpret_cast<const char*>(text),
                                static_cast<std::size_t>(sqlite3_column_bytes(statement, column))));
            }
        }
    }
    if (result != SQLITE_DONE) {
        Fail(sql);
    }
    sqlite3_reset(statement);
    return rows;
}

}  // namespace station::ledger
