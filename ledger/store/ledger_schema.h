#pragma once

#include "ledger/store/database.h"

namespace station::ledger {

// The schema's version now; the ledger brings an older one up to it by itself.
constexpr int kSchemaVersion = 9;

// Brings the schema of `database` up to version `to`, step by step, each step in a transaction
// of its own; a newer schema is refused. Throws DatabaseError.
void UpgradeSchema(Database& database, int to = kSchemaVersion);

}  // namespace station::ledger
