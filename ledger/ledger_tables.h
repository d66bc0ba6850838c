#pragma once

#include <string>
#include <vector>

#include "ledger/database.h"
#include "ledger/ledger_rows.h"

namespace station::ledger {

// The schema's version now; the ledger brings an older one up to it by itself.
constexpr int kSchemaVersion = 3;

// Brings the schema of `database` up to version `to`, step by step, each step in a transaction
// of its own; a newer schema is refused. Throws DatabaseError.
void UpgradeSchema(Database& database, int to = kSchemaVersion);

// The ledger's tables: weighings, stations, scale_states and rejected.
class LedgerTables {
public:
    struct Station {
        std::string name;
        std::string client_id;  // empty until its first weighing
        int newest_month = 0;   // yyyymm of its newest weighing; 0 for none
    };

    // Throws DatabaseError.
    explicit LedgerTables(Database& database);

    // Throws DatabaseError.
    std::vector<Station> Stations();
    // In one transaction: weighings whose id is held already are left out; a station's newest
    // month only grows. Says which of the batch's weighings were new, in the batch's order.
    // Throws DatabaseError.
    std::vector<bool> Write(const Batch& batch);

private:
    Database& database_;
};

}  // namespace station::ledger
