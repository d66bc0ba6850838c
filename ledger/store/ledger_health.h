#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace station::ledger {

// What a plant's monitoring asks of the ledger: whether it can store, what it stored, and how
// each station's replay stands. Written by the ledger on its loop, read by the page's workers.
struct LedgerHealth {
    struct Station {
        std::string last_weighing;    // the time of its newest weighing stored; empty: none yet
        std::string replay = "none";  // "none", "asked" or "through"
    };

    bool database_open = false;
    bool broker_connected = false;
    bool broker_taken_over = false;  // another client holds the ledger's client id
    std::string last_write;          // the time of the last batch written; empty: none yet
    std::map<std::string, Station> stations;

    std::uint64_t weighings_stored = 0;  // new rows, not those held already
    std::uint64_t weighings_held_already = 0;
    std::map<std::string, std::uint64_t> rejected;  // by kind
    std::uint64_t replays_asked = 0;
    std::uint64_t replays_through = 0;
    std::uint64_t untrusted_places = 0;  // weighings whose places in the register cannot be
    std::uint64_t database_errors = 0;
    double write_seconds = 0;  // every batch's transaction, summed
    std::uint64_t writes = 0;

    bool Healthy() const { return database_open && broker_connected; }
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
    // Whether the ledger has its database and its broker, without copying the rest.
    struct Reach {
        bool database_open = false;
        bool broker_connected = false;
        bool operator==(const Reach&) const = default;
    };
    Reach Reachable() const {
        const std::lock_guard lock(mutex_);
        return {health_.database_open, health_.broker_connected};
    }

private:
    mutable std::mutex mutex_;
    LedgerHealth health_;
};

// {"database": "open" | "away", "broker": "connected" | "away" | "taken over", "last_write": ...,
// "stations": {NAME: {"last_weighing": ..., "replay": ...}}}
std::string HealthJson(const LedgerHealth& health);

// The same and the counters in the Prometheus text format; `live_pages` open at the page.
std::string HealthMetrics(const LedgerHealth& health, std::size_t live_pages);

}  // namespace station::ledger
