#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "common/weighing_chain.h"
#include "ledger/store/database.h"

namespace station::ledger {

// Every seal stored verified again, room by room, in the order of the registers' lines, against
// the room's key (pinned in the settings, or the one taken on first use), as when it came
// (seal_check.h); and each sealed row's weight read again from its reading. What a row altered in
// the database since fails.
struct SealAudit {
    std::uint64_t verified = 0;
    std::vector<std::string> failures;  // "ROOM: ID: reason"
};

// Throws DatabaseError.
SealAudit AuditSeals(Database& database, const std::map<std::string, PublicKey>& pinned);

}  // namespace station::ledger
