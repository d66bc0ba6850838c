#include "ledger/store/sqlite_database.h"

#include <sqlite3.h>

namespace station::ledger {
namespace {

// Long enough for another process's commit, short enough to say that the file is held.
constexpr int kBusyWaitMs = 5000;

// A file that cannot be opened, written or read as a database stays so; a full disk, an I/O
// error or a lock held elsewhere may pass.
bool Lasting(int result) {
    switch (result & 0xff) {
        case SQLITE_CANTOPEN:
        case SQLITE_READONLY:
        case SQLITE_PERM:
        case SQLITE_AUTH:
        case SQLITE_NOTADB:
        case SQLITE_CORRUPT:
            return true;
        default:
            return false;
    }
}

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

// The folder is not made: a mistyped path would otherwise start an empty database elsewhere.
SqliteDatabase::SqliteDatabase(const std::string& path, DatabaseAccess access) {
    const bool read_only = access == DatabaseAccess::kReadOnly;
    const int flags =
        (read_only ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) |
        SQLITE_OPEN_NOMUTEX;
    if (const int result = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
        result != SQLITE_OK) {
        const std::string problem = db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        throw DatabaseError("cannot open " + path + ": " + problem, Lasting(result));
    }
    try {
        sqlite3_busy_timeout(db_, kBusyWaitMs);
        if (!read_only) {  // the journal's mode is the file's, kept by its writer
            Execute("PRAGMA journal_mode=WAL");
            Execute("PRAGMA synchronous=FULL");
        }
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
    throw DatabaseError(what + ": " + sqlite3_errmsg(db_), Lasting(sqlite3_extended_errcode(db_)));
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

std::vector<std::uint64_t> SqliteDatabase::Transact(const std::vector<Command>& commands) {
    Execute("BEGIN IMMEDIATE");
    try {
        std::vector<std::uint64_t> changed;
        changed.reserve(commands.size());
        std::uint64_t leading = 0;  // what the last command that is no check changed
        for (const Command& command : commands) {
            if (command.only_after_none && leading != 0) {
                changed.push_back(0);
                continue;
            }
            sqlite3_stmt* statement = Prepared(command.sql).Bound(command.values);
            if (const int result = sqlite3_step(statement); result != SQLITE_DONE) {
                // A value too big, of the wrong type or against a constraint: that row's own.
                const int primary = result & 0xff;
                if (primary == SQLITE_TOOBIG || primary == SQLITE_CONSTRAINT ||
                    primary == SQLITE_MISMATCH) {
                    throw DatabaseError::RefusedData(sqlite3_errmsg(db_));
                }
                Fail(command.sql);
            }
            changed.push_back(static_cast<std::uint64_t>(sqlite3_changes64(db_)));
            if (!command.only_after_none) {
                leading = changed.back();
            }
        }
        Execute("COMMIT");
        return changed;
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
