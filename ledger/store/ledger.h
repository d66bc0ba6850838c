#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "base/event_loop.h"
#include "base/log_throttle.h"
#include "common/clock.h"
#include "ledger/store/batch_writer.h"
#include "ledger/store/broker_intake.h"
#include "ledger/store/database_keeper.h"
#include "ledger/store/ledger_health.h"
#include "ledger/store/ledger_message.h"
#include "ledger/store/rejection_log.h"
#include "ledger/store/replay_book.h"
#include "ledger/store/room_roster.h"
#include "ledger/store/seal_keeper.h"
#include "ledger/store/store_settings.h"

namespace station::ledger {

// Keeps every station's weighings, live states and status in one database, each weighing once.
//
// The broker's acknowledgement of a message comes before the ledger has stored it, so the broker
// alone cannot make the ledger whole: the stations' registers can. The ledger wires parts that own
// their state and answer through their Handlers: the DatabaseKeeper opens the database and says it
// away and back; the BrokerIntake keeps the broker sessions and hears the messages; the
// BatchWriter writes them a group per transaction and says what became of each; the ReplayBook
// asks each station, once per round, to send again what the database may lack. What the ledger
// does itself: it admits a message's room (the settings' list, the RoomRoster's bounds), reads
// each message into its row, has the SealKeeper judge signing rooms' weighings, and rejects what is
// no station's status, weighing or state, or belongs to another station, into the table `rejected`
// (RejectionLog). While the database is away, the statuses and states the live session hears of the
// rooms the ledger knows go to the page alone.
class Ledger {
public:
    static constexpr std::size_t kBatchRows = BatchWriter::kBatchRows;
    static constexpr std::chrono::seconds kReplayQuiet = ReplayBook::kReplayQuiet;
    static constexpr std::chrono::seconds kBrokerBlip = BrokerIntake::kBrokerBlip;

    using LogSink = std::function<void(const std::string& line)>;
    using WrittenSink = std::function<void(const Batch& batch)>;
    using Startup = DatabaseKeeper::Startup;

    // `written` hears of every batch once it is in the database and, while the database is away,
    // of the statuses and states the live session heard; `health`, when given, is kept up to date.
    // `startup` as the DatabaseKeeper's, and its `refused` also when the broker refuses the
    // ledger's login, at any time (the reason then says which refused).
    Ledger(EventLoop& loop, StoreSettings settings, LogSink log, WrittenSink written = {},
           Startup startup = {}, HealthBoard* health = nullptr);
    ~Ledger();
    Ledger(const Ledger&) = delete;
    Ledger& operator=(const Ledger&) = delete;

    // Writes what it holds; for an orderly end.
    void Flush() { writer_.Flush(); }

private:
    // What the database keeper tells.
    void Load(LedgerTables& tables);
    void Opened(bool back);
    void Away();
    // What the broker intake hears.
    void Heard(const std::string& topic, const std::string& payload, bool retained);
    void HeardLive(const std::string& topic, const std::string& payload, bool retained);
    // What the batch writer tells.
    void Written(const Batch& batch, const std::vector<LedgerTables::Stored>& fates,
                 double seconds);
    // What the replay book asks and tells.
    std::optional<protocol::LinePlace> WalkHeld(const std::string& client_id,
                                                protocol::LinePlace from);
    bool PublishRequest(const std::string& room, const std::string& request);
    void ReplayAsked(const std::string& room, protocol::LinePlace from, const std::string& token);
    void ReplayThrough(const std::string& room, std::uint64_t fresh, std::uint64_t held);

    // The wall clock's time as every row and health field stamps it (ISO 8601, local offset).
    std::string WallClockStamp();
    void AskOwed();
    bool Admit(const std::string& room, bool weighing, const std::string& topic,
               const std::string& payload);
    void Forget(const std::string& room);
    void ExpireRooms();
    void Keep(WeighingRow row, const std::string& topic, const std::string& payload);
    void Reject(const Rejection& rejection, const std::string& topic, const std::string& payload);
    void Show(LedgerMessage& message, bool retained);

    EventLoop& loop_;
    StoreSettings settings_;
    LogSink log_;
    WrittenSink written_;
    HealthBoard own_health_;  // where none is given: the rooms' times are kept all the same
    HealthBoard* health_;
    SystemClock wall_clock_;
    LedgerTables* tables_ = nullptr;  // the keeper's, while open
    RoomRoster roster_;
    std::unique_ptr<Timer> expire_timer_;
    RejectionLog rejections_;
    ReplayBook book_;
    BrokerIntake intake_;
    DatabaseKeeper keeper_;
    SealKeeper seals_;
    // Last: its thread, which uses the keeper's tables, is gone before them.
    BatchWriter writer_;
};

}  // namespace station::ledger
