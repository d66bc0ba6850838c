#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "base/event_loop.h"
#include "base/log_throttle.h"
#include "broker/backoff.h"
#include "ledger/store/database.h"
#include "ledger/store/ledger_health.h"
#include "ledger/store/ledger_tables.h"

namespace station::ledger {

// Keeps the ledger's database open: opens it with its schema in place, asks a quiet one whether it
// still answers, and when it is away opens it again after Backoff's wait, which starts again only
// once a write succeeds (a database that opens but cannot write keeps backing off). It says the
// database away when that changes and once per kLogInterval while it lasts, and back, with how
// long it was away.
class DatabaseKeeper {
public:
    static constexpr std::chrono::minutes kLogInterval{1};
    // A database written to no more often than this is asked whether it still answers, so that a
    // quiet plant's page and health learn that it went away.
    static constexpr std::chrono::seconds kProbeInterval{5};

    // How the start ends: `ready` once the database is first open with its schema in place;
    // `refused` instead when, before that, the database refuses for a reason waiting will not
    // mend (nothing more is tried then). Without `refused` every refusal is waited out.
    struct Startup {
        std::function<void()> ready;
        std::function<void(const std::string& reason)> refused;
    };

    struct Handlers {
        // The tables are open: what the ledger keeps of them is read again. Throws DatabaseError.
        std::function<void(LedgerTables& tables)> load;
        // Open and said so; `back`: after being away.
        std::function<void(bool back)> opened;
        // Away: nothing is written until opened.
        std::function<void()> away;
        // The database is in use off the loop: not to be asked now.
        std::function<bool()> in_use;
    };

    using LogSink = std::function<void(const std::string& line)>;

    DatabaseKeeper(EventLoop& loop, std::string url, std::string password, Handlers handlers,
                   LogSink log, Startup startup, HealthBoard* health);

    void Open();
    // The database failed with `reason`.
    void Away(const std::string& reason);
    // A write succeeded.
    void Wrote();
    bool IsAway() const { return !problem_.empty(); }

private:
    void Probe();

    EventLoop& loop_;
    std::string url_;
    std::string password_;
    Handlers handlers_;
    LogSink log_;
    Startup startup_;
    HealthBoard* health_;
    std::unique_ptr<Database> database_;
    std::unique_ptr<LedgerTables> tables_;
    bool opened_ = false;  // it has been open at least once
    std::string problem_;  // while away
    std::string server_;   // the last one open
    EventLoop::TimePoint away_since_{};
    LogThrottle said_{kLogInterval};
    Backoff backoff_;
    std::unique_ptr<Timer> reopen_timer_;
    std::unique_ptr<Timer> probe_timer_;
    EventLoop::TimePoint last_write_{};
};

}  // namespace station::ledger
