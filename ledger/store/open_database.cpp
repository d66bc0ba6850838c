#include "ledger/store/open_database.h"

#include <stdexcept>

#include "ledger/store/postgres_database.h"
#include "ledger/store/sqlite_database.h"

namespace station::ledger {

std::unique_ptr<Database> OpenDatabase(const std::string& url, const std::string& password,
                                       DatabaseAccess access) {
    constexpr std::string_view kSqlite = "sqlite:";
    if (url.starts_with(kSqlite) && url.size() > kSqlite.size()) {
        return std::make_unique<SqliteDatabase>(url.substr(kSqlite.size()), access);
    }
    if (url.starts_with("postgresql://") || url.starts_with("postgres://")) {
        return std::make_unique<PostgresDatabase>(url, password, access);
    }
    throw std::invalid_argument("url: neither sqlite:PATH nor postgresql://...: " + url);
}

}  // namespace station::ledger
