#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ledger/store/database.h"
#include "ledger/store/ledger_rows.h"
#include "ledger/store/ledger_schema.h"

namespace station::ledger {

// The ledger's tables: weighings, stations, scale_states and rejected.
class LedgerTables {
public:
    struct Station {
        std::string name;
        std::string client_id;  // empty until its first weighing
        int newest_month = 0;   // yyyymm of its newest weighing; 0 for none
        std::optional<protocol::LinePlace> held_through;  // see Batch::held_through
        std::optional<bool> online;                       // its last status; none: not heard
        std::string status_received;                      // since when it holds
        std::vector<PublicKey> signing_keys = {};         // taken or announced, newest first
        std::string seal_break = {};  // its first weighing whose seal failed: "ID: reason"
    };

    // Throws DatabaseError.
    explicit LedgerTables(Database& database);

    // Throws DatabaseError.
    std::vector<Station> Stations();
    // Lets the room's client id go: the room's next weighing binds one again. False when the
    // room holds none. Throws DatabaseError.
    bool ReleaseClientId(const std::string& station);
    // The same, and every weighing stored under the room goes to `rejected` (kept there as
    // evidence) with the room's held place, so that the station whose ids they took fills them
    // with its replay; `topic_prefix` is the one the stations publish under. Says how many went.
    // Throws DatabaseError.
    std::size_t ReleaseForged(const std::string& station, const std::string& topic_prefix,
                              const std::string& received);
    // What became of a batch's weighing.
    enum class Stored { kNew, kHeldAlready, kConflict };

    // The rejected rows kept per kind: the first and, in a ring, the last; all are counted in
    // `rejected_counts`.
    static constexpr std::int64_t kRejectedKept = 100;

    // In one transaction: a weighing whose id is held already is left out, and when its line,
    // reading, unit or time differs from the one held, that one is marked disputed and the
    // weighing is said to be a conflict (the one held stays: a forged weighing cannot replace a
    // station's, nor a station's hide silently behind a forged one); a
    // station's newest month only grows; a weighing held already with the same content but no
    // places stored takes the ones it comes with; the places a station's register is held through
    // are set. Says what became of each weighing, in the batch's order. Throws DatabaseError.
    std::vector<Stored> Write(const Batch& batch);

    // The place before which every line of the register of the station with `client_id` is held,
    // given that every line before `from` is: on from `from` over the weighings held whose line
    // starts where the one before ends (within a month, or at the next month's start), as far as
    // kMostMonths. Throws DatabaseError.
    static constexpr std::size_t kMostMonths = 24;
    protocol::LinePlace WalkHeldThrough(const std::string& client_id, protocol::LinePlace from);

private:
    Database& database_;
};

}  // namespace station::ledger
