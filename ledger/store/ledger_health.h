#pragma once

#include <cstdint>
#include <ctime>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "ledger/store/ledger_message.h"
#include "ledger/store/ledger_rows.h"
#include "ledger/store/ledger_tables.h"

namespace station::ledger {

// What a plant's monitoring asks of the ledger: whether it can store, what it stored, how each
// station's replay stands, and the live view of every room, kept in memory so that the page tells
// it whatever the database does. Written by the ledger on its loop, read by the page's workers.
struct LedgerHealth {
    struct Station {
        std::string last_weighing;     // the time of its newest weighing stored; empty: none yet
        std::string replay = "none";   // "none", "asked" or "through"
        std::optional<bool> online;    // unknown until its status is heard or read back
        std::string since;             // when it came or went, as first heard; empty: not known
        std::time_t last_message = 0;  // when the ledger last heard from it; 0: not since start
        std::map<int, ScaleStateRow> scales;  // each scale's last state heard
        // With seals verified: the fingerprint of its key (empty: none known), whether the
        // settings pinned it, and its first weighing whose seal failed ("ID: reason").
        std::string key;
        bool key_pinned = false;
        std::string seal_break;
    };

    // A hall broker's bridge to the ledger's, by the hall's name.
    struct Hall {
        bool connected = false;
        std::string since;  // when it came or went, as heard; empty: before the ledger heard it
        bool operator==(const Hall&) const = default;
    };

    bool database_open = false;
    std::string database_server;           // host:port, the last one open; empty for a file
    std::uint64_t database_failovers = 0;  // opens on a server other than the last one
    bool broker_connected = false;
    bool broker_taken_over = false;  // another client holds the ledger's client id
    std::string last_write;          // the time of the last batch written; empty: none yet
    std::map<std::string, Station> stations;
    std::map<std::string, Hall> halls;

    std::uint64_t weighings_stored = 0;  // new rows, not those held already
    std::uint64_t weighings_held_already = 0;
    std::map<std::string, std::uint64_t> rejected;  // by kind
    std::uint64_t replays_asked = 0;
    std::uint64_t replays_through = 0;
    std::uint64_t untrusted_places = 0;  // weighings whose places in the register cannot be
    std::uint64_t database_errors = 0;
    double write_seconds = 0;  // every batch's transaction, summed
    std::uint64_t writes = 0;
    // From the newest weighing's own time to the end of the transaction that stored it, in the
    // last batch that stored one; nothing before the first.
    std::optional<double> weighing_lag_seconds;
    // Weighings judged by their seals since the start, when the settings ask for it.
    bool verifying_seals = false;
    std::uint64_t seals_verified = 0;
    std::uint64_t seals_unsigned = 0;
    std::uint64_t seals_failed = 0;

    bool Healthy() const { return database_open && broker_connected; }

    // A room's message heard at `now`, or kept at the broker from before (no time: the room is
    // not heard from by it). A status's time becomes the time the room came or went: its own
    // when the status changed, the one kept when it says again what it said (a retained status
    // delivered again after the broker or the ledger reconnects).
    void Heard(LedgerMessage& message, std::optional<std::time_t> now);
    // A batch's weighings and what became of each, written at `stamp` (`now`) in `seconds`.
    void Written(const std::vector<WeighingRow>& weighings,
                 const std::vector<LedgerTables::Stored>& fates, const std::string& stamp,
                 std::time_t now, double seconds);
    // A room as the database holds it, where what was heard since does not say otherwise.
    void Known(const std::string& room, std::optional<bool> online, const std::string& since);
};

// The ledger's health behind a lock.
class HealthBoard {
public:
    template <typename Change>
    void Update(Change&& change) {
        const std::lock_guard lock(mutex_);
        change(health_);
    }
    LedgerHealth Snapshot() const {
        const std::lock_guard lock(mutex_);
        return health_;
    }
    // Whether the ledger has its database, its broker and its halls, without copying the rest.
    struct Reach {
        bool database_open = false;
        bool broker_connected = false;
        std::map<std::string, LedgerHealth::Hall> halls;
        bool operator==(const Reach&) const = default;
    };
    Reach Reachable() const {
        const std::lock_guard lock(mutex_);
        return {health_.database_open, health_.broker_connected, health_.halls};
    }

private:
    mutable std::mutex mutex_;
    LedgerHealth health_;
};

// {"database": "open" | "away", "database_server": HOST:PORT, "database_failovers": N (these two
// for a server, not a file), "broker": "connected" | "away" | "taken over", "halls": {HALL:
// "connected" | "cut off"} (once any is heard), "last_write": ..., "stations": {NAME:
// {"last_weighing": ..., "replay": ...}}}; with seals verified, "seals": {"verified": N,
// "unsigned": N, "failed": N}, and each station's "key", "key_pinned" and "seal_break".
std::string HealthJson(const LedgerHealth& health);

// The same and the counters in the Prometheus text format; `live_pages` open at the page.
std::string HealthMetrics(const LedgerHealth& health, std::size_t live_pages);

}  // namespace station::ledger
