#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "base/event_loop.h"
#include "base/log_throttle.h"
#include "base/worker_thread.h"
#include "broker/backoff.h"
#include "broker/broker_supervisor.h"
#include "ledger/database.h"
#include "ledger/ledger_health.h"
#include "ledger/ledger_message.h"
#include "ledger/ledger_settings.h"
#include "ledger/ledger_tables.h"
#include "ledger/room_roster.h"
#include "protocol/topics.h"

namespace station::ledger {

// Keeps every station's weighings, live states and status in one database, each weighing once.
//
// The broker's acknowledgement of a message comes before the ledger has stored it, so the broker
// alone cannot make the ledger whole: the stations' registers can. At every start, when the broker
// answers without the session it kept, and when the database is back after being away, the ledger
// asks each station it knows to send its weighings again from the start of the month before that of
// the newest weighing it holds from it (a station never seen: from the first month of the settings;
// but see below), and drops the ids it has. Messages are written in groups of at most kBatchRows,
// one transaction each, on a thread of their own while the next group is read (one group at a time,
// in the order read): a group holding a weighing once the flow has paused for kFlowPause or after
// kFlushInterval, one of states and statuses alone after kFlushInterval. A database that fails a
// write ends the session with the broker, which keeps the messages meanwhile, and is opened again
// after Backoff's wait, which starts again only once a write succeeds. Meanwhile a second session,
// a clean one, hears the known rooms' statuses and states for the live view alone: they are what
// the rooms do now, and the broker keeps nothing of them for the ledger. A message that is no
// station's status, weighing or state goes to the table `rejected`, as does a row the database
// refuses on its own (the rest of its batch is written without it).
//
// The log shows that the flow is whole: the broker connected (and whether it kept the session),
// lost and back (in one line when it is back within kBrokerBlip); per station the replay asked and,
// once the station has been quiet for kReplayQuiet after its weighings (or after the station's
// interval between replays, when none come), how many weighings were new and how many held already;
// the database away, back and for how long. A problem that lasts is said again once per
// kLogInterval. A session regained after any loss is doubted (another client may have held it
// and dropped what the broker kept), and a replay round follows.
//
// A station that says, with each weighing, where its previous weighing line ended and where this
// one ends is asked for less: the ledger keeps, per station and with the weighings it writes, the
// place before which it holds every line of the register (moved on, once written, by each new
// weighing that follows on from it, and over those held already by the places stored with them),
// and asks for the replay from there, not from a month's start (but never from before the month
// before its newest weighing's, as before). A
// weighing whose places cannot be (its line ending before it starts, or further than a line can be
// long) moves nothing and is counted. Before it asks, the place is walked on over the weighings the
// database holds (a ledger sharing the flow holds only part of it, and the other writes the rest).
class Ledger {
public:
    static constexpr std::chrono::milliseconds kFlushInterval{100};
    static constexpr std::chrono::milliseconds kFlowPause{5};
    static constexpr std::size_t kBatchRows = 2000;
    static constexpr std::chrono::minutes kLogInterval{1};
    static constexpr std::chrono::seconds kReplayQuiet{5};
    static constexpr std::chrono::seconds kBrokerBlip{5};
    // A database written to no more often than this is asked whether it still answers, so that a
    // quiet plant's page and health learn that it went away.
    static constexpr std::chrono::seconds kProbeInterval{5};

    using LogSink = std::function<void(const std::string& line)>;
    using WrittenSink = std::function<void(const Batch& batch)>;

    // How the start ends: `ready` once the database is first open with its schema in place;
    // `refused` instead when, before that, the database refuses for a reason waiting will not
    // mend (the ledger then does nothing more). Without `refused` every refusal is waited out.
    struct Startup {
        std::function<void()> ready;
        std::function<void(const std::string& reason)> refused;
    };

    // `written` hears of every batch once it is in the database and, while the database is away,
    // of the statuses and states the live session heard; `health`, when given, is kept up to date.
    Ledger(EventLoop& loop, LedgerSettings settings, LogSink log, WrittenSink written = {},
           Startup startup = {}, HealthBoard* health = nullptr);
    ~Ledger();
    Ledger(const Ledger&) = delete;
    Ledger& operator=(const Ledger&) = delete;

    // Writes what it holds; for an orderly end.
    void Flush();

private:
    struct Station {
        std::string client_id;
        int newest_month = 0;
        int stored_newest_month = 0;  // as the database held it when opened
        // Every line of its register before this place is held (or was never asked for).
        std::optional<protocol::LinePlace> held_through;
        std::uint64_t requested_round = 0;  // the replay round it was last asked in
        // Since the replay last asked: weighings new and held already, and the wait for quiet.
        std::uint64_t replay_new = 0;
        std::uint64_t replay_held = 0;
        std::unique_ptr<Timer> replay_quiet;
        std::string request;  // the replay request last published, retained at the broker
    };

    void OpenDatabase();
    void DatabaseAway(const std::string& reason);
    void Probe();
    void HandleConnected();
    void HandleLost(const std::string& reason);
    void ReplayQuiet(const std::string& name);
    void WriteBehind();
    void WriteWhenPaused();
    // What a transaction made of a batch's weighings, and how long it took.
    struct Outcome {
        std::vector<LedgerTables::Stored> fates;
        double seconds = 0;
    };
    static Outcome TimedWrite(LedgerTables& tables, const Batch& batch);
    void Commit(const Batch& batch);
    void Committed(const Batch& batch, const Outcome& outcome);
    void WriteFailed(const Batch& batch, const DatabaseError& error);
    void WriteEachAlone(const Batch& whole);
    void Written(const Batch& batch, const std::vector<LedgerTables::Stored>& fates);
    std::string BrokerName() const;
    static std::string Seconds(std::chrono::steady_clock::duration duration);
    void HandleMessage(const std::string& topic, const std::string& payload);
    void HandleReplayTopic(const ReplayTopicHeard& heard);
    void StartLiveOnly();
    void HandleLiveOnly(const std::string& topic, const std::string& payload);
    bool Admit(const std::string& room, bool weighing, const std::string& topic,
               const std::string& payload);
    void Forget(const std::string& room);
    void ExpireRooms();
    void Keep(WeighingRow row, const std::string& topic, const std::string& payload);
    void HoldThrough(Station& station, const WeighingRow& row);
    void AssumeHeldThrough(Station& station) const;
    void Reject(const Rejection& rejection, const std::string& topic, const std::string& payload);
    void Counted(RejectKind kind, const std::string& reason, const std::string& topic);
    void Added();
    void NewReplayRound();
    void RequestOwedReplays();
    void RequestReplay(const std::string& name, Station& station);
    void WalkHeldThrough(const std::string& name, Station& station);
    std::string Topic(const std::string& station, protocol::TopicKind kind, int scale = 0) const;

    EventLoop& loop_;
    LedgerSettings settings_;
    LogSink log_;
    WrittenSink written_;
    std::unique_ptr<Database> database_;
    std::unique_ptr<LedgerTables> tables_;
    std::map<std::string, Station> stations_;
    std::map<std::string, std::string> rooms_by_client_id_;
    RoomRoster roster_;
    std::unique_ptr<Timer> expire_timer_;
    Batch batch_;
    std::unique_ptr<Timer> flush_timer_;
    EventLoop::TimePoint batch_begun_{};  // when the first of batch_ came
    EventLoop::TimePoint last_added_{};
    std::unique_ptr<Timer> reopen_timer_;
    std::unique_ptr<Timer> probe_timer_;
    EventLoop::TimePoint last_write_{};
    Backoff reopen_backoff_;
    Startup startup_;
    HealthBoard* health_;
    bool opened_ = false;           // the database has been open at least once
    std::string database_problem_;  // said once per change until the database is back
    EventLoop::TimePoint database_away_since_{};
    LogThrottle database_said_{kLogInterval};
    bool broker_was_connected_ = false;
    std::string broker_problem_;  // said once per change until the broker is back
    EventLoop::TimePoint broker_away_since_{};
    LogThrottle broker_said_{kLogInterval};
    bool taken_over_ = false;    // another client took the client id, and may still hold it
    bool session_lost_ = false;  // since the last session: its next may lack what came meanwhile
    LogThrottle taken_over_said_{kLogInterval};
    std::unique_ptr<Timer> steady_timer_;  // a session back after a takeover, once it lasts
    std::unique_ptr<Timer> lost_timer_;    // a lost session not yet said: back within kBrokerBlip?
    std::uint64_t replay_round_ = 0;
    struct Rejections {
        std::uint64_t count = 0;
        LogThrottle said{kLogInterval};
    };
    std::map<RejectKind, Rejections> rejected_;
    std::unique_ptr<BrokerSupervisor> broker_;     // made once the database is first open
    std::unique_ptr<BrokerSupervisor> live_only_;  // while the database is away
    // Uses the database while a batch is in hand, and the loop does not meanwhile. Last: it is
    // gone before the database.
    WorkerThread writer_;
};

}  // namespace station::ledger
