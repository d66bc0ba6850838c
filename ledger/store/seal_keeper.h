#pragma once

#include <map>
#include <string>
#include <vector>

#include "ledger/store/ledger_health.h"
#include "ledger/store/ledger_message.h"
#include "ledger/store/ledger_rows.h"
#include "ledger/store/ledger_tables.h"
#include "ledger/store/rejection_log.h"
#include "ledger/store/store_settings.h"

namespace station::ledger {

// The rooms' keys and the verdicts on their weighings' seals, judged a batch at a time just before
// it is written (seal_check.h): a failed weighing leaves the batch as a rejected row, so it neither
// is stored nor moves the place its room is held through, and the replay may bring the real one.
// With verification off, seals are dropped unread, and nothing is stored of them.
class SealKeeper {
public:
    SealKeeper(const StoreSettings& settings, HealthBoard* health);

    // The keys taken on first use and the rooms' breaks, as the database holds them.
    void Load(const std::vector<LedgerTables::Station>& rows);
    // A weighing that fails goes to `rejections` as received at `stamp`.
    void Judge(Batch& batch, RejectionLog& rejections, const std::string& stamp);

private:
    // The room's key and first break, where the page and the health answer show them.
    void Shown(LedgerHealth::Station& station, const std::string& room) const;

    bool on_;
    std::map<std::string, PublicKey> pinned_;
    std::map<std::string, RoomKey> keys_;
    std::map<std::string, std::string> breaks_;  // rooms whose seals failed: the first
    HealthBoard* health_;
};

}  // namespace station::ledger
