#include "ledger/store/database_keeper.h"

#include <utility>

#include "ledger/store/open_database.h"

namespace station::ledger {

DatabaseKeeper::DatabaseKeeper(EventLoop& loop, std::string url, std::string password,
                               Handlers handlers, LogSink log, Startup startup, HealthBoard* health)
    : loop_(loop),
      url_(std::move(url)),
      password_(std::move(password)),
      handlers_(std::move(handlers)),
      log_(std::move(log)),
      startup_(std::move(startup)),
      health_(health) {}

void DatabaseKeeper::Open() {
    reopen_timer_.reset();
    try {
        database_ = OpenDatabase(url_, password_);
        tables_ = std::make_unique<LedgerTables>(*database_);
        handlers_.load(*tables_);
    } catch (const DatabaseError& error) {
        if (!opened_ && error.Lasting() && startup_.refused) {
            startup_.refused(std::string("database refused: ") + error.what());
            return;
        }
        Away(error.what());
        return;
    }
    // Of the hosts a URL names, another answering as the primary: a failover.
    const std::string server = database_->Server();
    const bool failover = !server_.empty() && server != server_;
    if (failover) {
        log_("database now on " + server + ", no longer on " + server_);
    }
    server_ = server;
    if (health_) {
        health_->Update([&](LedgerHealth& board) {
            board.database_open = true;
            board.database_server = server;
            board.database_failovers += failover ? 1 : 0;
        });
    }
    last_write_ = loop_.Now();
    probe_timer_ = loop_.StartTimer(kProbeInterval, [this] { Probe(); });
    if (!std::exchange(opened_, true) && startup_.ready) {
        startup_.ready();
    }
    const bool back = !problem_.empty();
    if (back) {
        log_("database back after " + SecondsSaid(loop_.Now() - away_since_) +
             ": the stations are asked to send again what may have been lost");
        problem_.clear();
    }
    handlers_.opened(back);
}

void DatabaseKeeper::Probe() {
    if (!handlers_.in_use() && loop_.Now() - last_write_ >= kProbeInterval) {
        try {
            database_->Query("SELECT 1", {});
        } catch (const DatabaseError& error) {
            Away(error.what());
            return;
        }
    }
    probe_timer_ = loop_.StartTimer(kProbeInterval, [this] { Probe(); });
}

void DatabaseKeeper::Away(const std::string& reason) {
    const std::string problem = reason.empty() ? "failed" : reason;
    const bool first = problem_.empty();
    if (first) {
        away_since_ = loop_.Now();
        said_.Reset();
    }
    if (said_.Due(loop_.Now(), problem)) {
        log_(first ? "database: " + problem + "; messages wait at the broker until it is back"
                   : "database still away after " + SecondsSaid(loop_.Now() - away_since_) + ": " +
                         problem);
    }
    problem_ = problem;
    if (health_) {
        health_->Update([](LedgerHealth& board) {
            board.database_open = false;
            ++board.database_errors;
        });
    }
    probe_timer_.reset();
    handlers_.away();
    tables_.reset();
    database_.reset();
    reopen_timer_ = loop_.StartTimer(backoff_.Next(), [this] { Open(); });
}

void DatabaseKeeper::Wrote() {
    last_write_ = loop_.Now();
    backoff_.Reset();
}

}  // namespace station::ledger
