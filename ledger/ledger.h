#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "base/event_loop.h"
#include "ledger/database.h"
#include "ledger/ledger_message.h"
#include "ledger/ledger_settings.h"
#include "ledger/ledger_tables.h"
#include "service/backoff.h"
#include "service/broker_supervisor.h"

namespace station::ledger {

// Keeps every station's weighings, live states and status in one database, each weighing once.
//
// The broker's acknowledgement of a message comes before the ledger has stored it, so the
// broker alone cannot make the ledger whole: the stations' registers can. At every start, when
// the broker answers without the session it kept, and when the database is back after being
// away, the ledger asks each station it knows to send its weighings again from the start of the
// month before that of the newest weighing it holds from it (a station never seen: from the
// first month of the settings), and drops the ids it has. Messages are written in groups, one
// transaction per kFlushInterval or kBatchRows. A database that fails a write ends the session
// with the broker, which keeps the messages meanwhile, and is opened again after Backoff's wait.
// A message that is no station's status, weighing or state goes to the table `rejected`.
class Ledger {
public:
    static constexpr std::chrono::milliseconds kFlushInterval{100};
    static constexpr std::size_t kBatchRows = 2000;
    static constexpr std::chrono::minutes kLogInterval{1};

    using LogSink = std::function<void(const std::string& line)>;
    using WrittenSink = std::function<void(const Batch& batch)>;

    // `written` hears of every batch once it is in the database.
    Ledger(EventLoop& loop, LedgerSettings settings, LogSink log, WrittenSink written = {});
    ~Ledger();
    Ledger(const Ledger&) = delete;
    Ledger& operator=(const Ledger&) = delete;

    // Writes what it holds; for an orderly end.
    void Flush();

private:
    struct Station {
        std::string client_id;
        int newest_month = 0;
        std::uint64_t requested_round = 0;  // the replay round it was last asked in
    };

    void OpenDatabase();
    void DatabaseAway(const std::string& reason);
    void HandleConnected();
    void HandleMessage(const std::string& topic, const std::string& payload);
    void Keep(WeighingRow row, const std::string& topic, const std::string& payload);
    void Reject(const Rejection& rejection, const std::string& topic, const std::string& payload);
    void Added();
    void NewReplayRound();
    void RequestOwedReplays();
    void RequestReplay(const std::string& name, Station& station);
    std::string Topic(const std::string& station, const std::string& leaf) const;

    EventLoop& loop_;
    LedgerSettings settings_;
    LogSink log_;
    WrittenSink written_;
    std::unique_ptr<Database> database_;
    std::unique_ptr<LedgerTables> tables_;
    std::map<std::string, Station> stations_;
    Batch batch_;
    std::unique_ptr<Timer> flush_timer_;
    std::unique_ptr<Timer> reopen_timer_;
    Backoff reopen_backoff_;
    std::string database_problem_;  // said once until the database is back
    std::uint64_t replay_round_ = 0;
    std::map<RejectKind, std::pair<std::uint64_t, EventLoop::TimePoint>> rejected_;  // count, said
    std::unique_ptr<BrokerSupervisor> broker_;  // made once the database is first open
};

}  // namespace station::ledger
