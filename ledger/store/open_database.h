#pragma once

#include <memory>
#include <string>

#include "ledger/store/database.h"

namespace station::ledger {

// "sqlite:PATH" or a "postgresql://" (or "postgres://") URI; `password` for PostgreSQL, empty
// for none. Throws DatabaseError when it cannot be opened; std::invalid_argument for a URL of
// neither kind.
std::unique_ptr<Database> OpenDatabase(const std::string& url, const std::string& password,
                                       DatabaseAccess access = DatabaseAccess::kReadWrite);

}  // namespace station::ledger
