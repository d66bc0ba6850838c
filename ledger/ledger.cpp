#include "ledger/ledger.h"

#include <sys/random.h>

#include <array>
#include <cerrno>
#include <ctime>
#include <limits>
#include <optional>
#include <system_error>
#include <utility>

#include "ledger/open_database.h"
#include "protocol/iso_time.h"
#include "protocol/replay_request.h"
#include "protocol/topics.h"
#include "protocol/utf8_text.h"
#include "protocol/weighing.h"

namespace station::ledger {
namespace {

net::BrokerOptions Options(const PublishSettings& settings) {
    net::BrokerOptions options = BrokerOptionsOf(settings);
    options.keep_session = true;  // the broker keeps the weighings while the ledger is away
    options.longest_payload = kLargestMessage;
    options.largest_packet = kLargestPacket;
    return options;
}

// The wall clock's time as every row and health field stamps it (ISO 8601, local offset).
std::string WallClockStamp() {
    return protocol::IsoLocalTime(std::time(nullptr));
}

// 128 random bits in hex: a station honours a token once ever, so no request of any ledger
// process, however quickly it follows a killed one, may repeat one.
std::string RandomToken() {
    std::array<unsigned char, 16> bytes{};
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::getrandom(bytes.data() + got, bytes.size() - got, 0);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
        } else if (errno != EINTR) {
            throw std::system_error(errno, std::generic_category(), "getrandom");
        }
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string token;
    for (const unsigned char byte : bytes) {
        token += kHex[byte >> 4];
        token += kHex[byte & 0xf];
    }
    return token;
}

}  // namespace

Ledger::Ledger(EventLoop& loop, LedgerSettings settings, LogSink log, WrittenSink written,
               Startup startup, HealthBoard* health)
    : loop_(loop),
      settings_(std::move(settings)),
      log_(std::move(log)),
      written_(std::move(written)),
      roster_(settings_.most_rooms),
      startup_(std::move(startup)),
      health_(health),
      writer_(loop) {
    if (health_) {
        health_->Update([](LedgerHealth& board) {
            for (const RejectKind kind : kRejectKinds) {
                board.rejected.try_emplace(RejectKindName(kind), 0);
            }
        });
    }
    NewReplayRound();
    OpenDatabase();
    ExpireRooms();
}

Ledger::~Ledger() {
    Flush();
}

void Ledger::OpenDatabase() {
    reopen_timer_.reset();
    try {
        database_ =
            station::ledger::OpenDatabase(settings_.database_url, settings_.database_password);
        tables_ = std::make_unique<LedgerTables>(*database_);
        // What a lost write left in memory is not in the database.
        stations_.clear();
        rooms_by_client_id_.clear();
        roster_.Clear();
        for (const LedgerTables::Station& row : tables_->Stations()) {
            roster_.Load(row.name, !row.client_id.empty(), loop_.Now());
            Station& station = stations_[row.name];
            station.client_id = row.client_id;
            station.newest_month = station.stored_newest_month = row.newest_month;
            station.held_through = row.held_through;
            if (!row.client_id.empty()) {
                rooms_by_client_id_.emplace(row.client_id, row.name);
            }
        }
    } catch (const DatabaseError& error) {
        if (!opened_ && error.Lasting() && startup_.refused) {
            startup_.refused(error.what());
            return;
        }
        DatabaseAway(error.what());
        return;
    }
    if (health_) {
        health_->Update([](LedgerHealth& board) { board.database_open = true; });
    }
    last_write_ = loop_.Now();
    probe_timer_ = loop_.StartTimer(kProbeInterval, [this] { Probe(); });
    if (!opened_) {
        opened_ = true;
        if (startup_.ready) {
            startup_.ready();
        }
    }
    live_only_.reset();
    if (!database_problem_.empty()) {
        log_("database back after " + Seconds(loop_.Now() - database_away_since_) +
             ": the stations are asked to send again what may have been lost");
        database_problem_.clear();
        NewReplayRound();
    }
    if (!broker_) {
        broker_ = std::make_unique<BrokerSupervisor>(
            loop_, Options(settings_.broker),
            BrokerSupervisor::Handlers{
                [this] { HandleConnected(); },
                [this](const std::string& reason) { HandleLost(reason); }, [](int) {},
                [](const std::string&) {},  // said by HandleLost, with how long it lasts
                [this](const std::string& topic, const std::string& payload, bool) {
                    HandleMessage(topic, payload);
                }},
            true);
    } else {
        broker_->Resume();
    }
}

void Ledger::Probe() {
    if (!writer_.Busy() && loop_.Now() - last_write_ >= kProbeInterval) {
        try {
            database_->Query("SELECT 1", {});
        } catch (const DatabaseError& error) {
            DatabaseAway(error.what());
            return;
        }
    }
    probe_timer_ = loop_.StartTimer(kProbeInterval, [this] { Probe(); });
}

// What was taken from the broker and not written is gone from it: the replay brings it back.
void Ledger::DatabaseAway(const std::string& reason) {
    const std::string problem = reason.empty() ? "failed" : reason;
    const bool first = database_problem_.empty();
    if (first) {
        database_away_since_ = loop_.Now();
        database_said_.Reset();
    }
    if (database_said_.Due(loop_.Now(), problem)) {
        log_(first ? "database: " + problem + "; messages wait at the broker until it is back"
                   : "database still away after " + Seconds(loop_.Now() - database_away_since_) +
                         ": " + problem);
    }
    database_problem_ = problem;
    if (health_) {
        health_->Update([](LedgerHealth& board) {
            board.database_open = false;
            ++board.database_errors;
        });
    }
    if (tables_) {
        batch_ = {};  // what was not written: the replay brings it back
        flush_timer_.reset();
    }  // (else the batch is the live session's, and a failed reopening leaves it to be shown)
    probe_timer_.reset();
    if (broker_) {
        broker_->Pause();
        if (!live_only_) {
            StartLiveOnly();
        }
    }
    tables_.reset();
    database_.reset();
    reopen_timer_ = loop_.StartTimer(reopen_backoff_.Next(), [this] { OpenDatabase(); });
}

void Ledger::StartLiveOnly() {
    net::BrokerOptions options = BrokerOptionsOf(settings_.broker);
    options.client_id += "-live";
    options.longest_payload = kLargestMessage;
    options.largest_packet = kLargestPacket;
    const auto reached = [this](bool connected) {
        if (health_) {
            health_->Update(
                [connected](LedgerHealth& board) { board.broker_connected = connected; });
        }
    };
    live_only_ = std::make_unique<BrokerSupervisor>(
        loop_, options,
        BrokerSupervisor::Handlers{
            [this, reached] {
                reached(true);
                const std::string& prefix = settings_.broker.topic;
                for (const auto kind :
                     {protocol::TopicKind::kStatus, protocol::TopicKind::kState}) {
                    if (!live_only_->Subscribe(protocol::EveryStationsTopic(prefix, kind), 0)) {
                        return;
                    }
                }
            },
            [reached](const std::string&) { reached(false); }, [](int) {},
            [](const std::string&) {},
            [this](const std::string& topic, const std::string& payload, bool) {
                HandleLiveOnly(topic, payload);
            }});
}

// Only rooms the ledger knows: a stranger's names wait for the database, and its rules.
void Ledger::HandleLiveOnly(const std::string& topic, const std::string& payload) {
    LedgerMessage message =
        ReadLedgerMessage(settings_.broker.topic, topic, payload, WallClockStamp());
    if (auto* state = std::get_if<ScaleStateRow>(&message);
        state && stations_.contains(state->station)) {
        batch_.states.push_back(std::move(*state));
    } else if (auto* status = std::get_if<StationStatusRow>(&message);
               status && stations_.contains(status->station)) {
        batch_.statuses.push_back(std::move(*status));
    } else {
        return;
    }
    Added();
}

void Ledger::HandleConnected() {
    const bool kept = broker_->SessionPresent();
    // What the broker held for the ledger is gone, or may be: a client that took the session
    // meanwhile (another's login with the ledger's client id) had it delivered and dropped.
    const bool doubted = std::exchange(session_lost_, false);
    if (!kept || doubted) {
        ++replay_round_;
    }
    broker_was_connected_ = true;
    if (health_) {
        health_->Update([](LedgerHealth& board) {
            board.broker_connected = true;
            board.broker_taken_over = false;
        });
    }
    if (taken_over_) {
        // Said once it has lasted: while two ledgers take turns, once a minute is enough.
        steady_timer_ = loop_.StartTimer(kLogInterval, [this] {
            taken_over_ = false;
            log_("broker " + BrokerName() + ": the client id " + settings_.broker.client_id +
                 " is the ledger's again");
        });
    } else {
        // A short loss is said with the connection that ends it, in one line.
        const std::string away = broker_problem_.empty()
                                     ? ""
                                     : " after " + Seconds(loop_.Now() - broker_away_since_) +
                                           " away" +
                                           (lost_timer_ ? " (lost: " + broker_problem_ + ")" : "");
        log_("broker " + BrokerName() + ": connected" + away +
             (!kept     ? "; a new session: the stations are asked to send again"
              : doubted ? "; it kept the ledger's session, which may have lost messages "
                          "meanwhile: the stations are asked to send again"
                        : "; it kept the ledger's session"));
    }
    lost_timer_.reset();
    broker_problem_.clear();
    const std::string& prefix = settings_.broker.topic;
    const std::string weighings =
        protocol::EveryStationsTopic(prefix, protocol::TopicKind::kWeighing);
    // Retained messages never go to a shared subscription: statuses and states come to each. A
    // station whose topic is deeper than one level under the prefix is heard too, to be rejected
    // with the reason, so that its settings are seen to be wrong.
    if (!broker_->Subscribe(protocol::EveryStationsTopic(prefix, protocol::TopicKind::kStatus),
                            1) ||
        !broker_->Subscribe(protocol::EveryStationsTopic(prefix, protocol::TopicKind::kState), 0) ||
        !broker_->Subscribe(protocol::EveryStationsTopic(prefix, protocol::TopicKind::kReplay),
                            1) ||
        !broker_->Subscribe(prefix + "/+/+/status", 1) ||
        !broker_->Subscribe(prefix + "/+/+/+/+/#", 1) ||
        !broker_->Subscribe(
            settings_.share.empty() ? weighings : "$share/" + settings_.share + "/" + weighings,
            1)) {
        return;
    }
    RequestOwedReplays();
}

// A session lost, or an attempt that failed: said when it changes and once a minute while the
// broker stays away. A pause for the database is no news of the broker's.
void Ledger::HandleLost(const std::string& reason) {
    if (!database_problem_.empty()) {
        return;  // the live session says what the broker does meanwhile
    }
    session_lost_ = true;
    const bool taken_over = reason == kSessionTakenOver;
    if (health_) {
        health_->Update([taken_over](LedgerHealth& board) {
            board.broker_connected = false;
            board.broker_taken_over = taken_over;
        });
    }
    steady_timer_.reset();
    if (taken_over) {
        lost_timer_.reset();
        broker_was_connected_ = false;
        if (!taken_over_) {
            taken_over_said_.Reset();
        }
        if (taken_over_said_.Due(loop_.Now())) {
            log_("broker " + BrokerName() + ": " + reason + " " + settings_.broker.client_id +
                 "; the ledger steps back and tries again in a minute");
        }
        taken_over_ = true;
        return;
    }
    if (broker_was_connected_) {
        broker_was_connected_ = false;
        broker_away_since_ = loop_.Now();
        broker_said_.Reset();
        broker_said_.Due(loop_.Now(), reason);  // said once the loss lasts
        broker_problem_ = reason;
        lost_timer_ = loop_.StartTimer(kBrokerBlip, [this] {
            lost_timer_.reset();
            log_("broker " + BrokerName() + ": lost: " + broker_problem_);
        });
        return;
    }
    if (lost_timer_) {
        return;  // still within the loss, said when it ends or lasts
    }
    const bool first = broker_problem_.empty();
    if (first) {
        broker_away_since_ = loop_.Now();
        broker_said_.Reset();
    }
    if (broker_said_.Due(loop_.Now(), reason)) {
        log_("broker " + BrokerName() + ": " +
             (first ? reason
                    : "still away after " + Seconds(loop_.Now() - broker_away_since_) + ": " +
                          reason));
    }
    broker_problem_ = reason;
}

void Ledger::NewReplayRound() {
    ++replay_round_;
    if (broker_ && broker_->Connected()) {
        RequestOwedReplays();
    }
}

void Ledger::RequestOwedReplays() {
    writer_.Finish();  // the places held are walked on in the database
    if (!tables_) {
        return;  // asked again once the database is back
    }
    for (auto& [name, station] : stations_) {
        if (station.requested_round != replay_round_) {
            RequestReplay(name, station);
        }
    }
}

// Before anything is known of a station's register, it is taken as held through the start of the
// month before its newest weighing's (a station never seen: the settings' first month), as replays
// always took it.
void Ledger::AssumeHeldThrough(Station& station) const {
    if (station.held_through) {
        return;
    }
    const auto newest = protocol::Month::OfYyyymm(station.newest_month);
    if (const auto month =
            newest ? newest->Previous() : protocol::Month::OfYyyymm(settings_.first_month)) {
        station.held_through = protocol::LinePlace{*month, 0};
    }
}

void Ledger::RequestReplay(const std::string& name, Station& station) {
    AssumeHeldThrough(station);
    if (!station.held_through) {
        return;  // the settings' month is checked when read
    }
    // Never from further back than the start of the month before the newest weighing the database
    // held of it, as replays always went: the place held moves on only over weighings that keep
    // their places (not those an older ledger wrote, nor a station's that says none).
    // What lies before is taken as held, so that the replay's weighings follow on from it. (Not
    // the newest heard since: weighings waiting at the broker for a fresh database would skip the
    // months before theirs.)
    if (const auto newest = protocol::Month::OfYyyymm(station.stored_newest_month)) {
        station.held_through =
            std::max(*station.held_through, protocol::LinePlace{newest->Previous(), 0});
    }
    WalkHeldThrough(name, station);
    const protocol::LinePlace from = *station.held_through;
    // The client id names the asker in the station's log; the random part makes it new.
    const std::string token = settings_.broker.client_id.substr(0, 100) + "/" + RandomToken();
    std::string request = protocol::WriteReplayRequest({token, from.month, from.offset});
    if (!broker_->Publish(Topic(name, protocol::TopicKind::kReplay), request, 1, true)) {
        return;
    }
    station.request = std::move(request);
    station.requested_round = replay_round_;
    station.replay_new = station.replay_held = 0;
    // A station may hold the request for its interval between replays before it sends anything.
    station.replay_quiet = loop_.StartTimer(protocol::kReplayInterval + kReplayQuiet,
                                            [this, name] { ReplayQuiet(name); });
    log_(name + ": replay asked from " + from.month.Text() +
         (from.offset == 0 ? "" : " offset " + std::to_string(from.offset)) + " (request " + token +
         ")");
    if (health_) {
        health_->Update([&name](LedgerHealth& board) {
            board.stations[name].replay = "asked";
            ++board.replays_asked;
        });
    }
}

// Ledgers sharing a station's flow each hold only part of it, so each moves its place held only
// over what it saw itself; the other's weighings are in the database, and are walked on over
// before a replay is asked. Not while a batch is being written (the database is the writer's then),
// which only asks for more.
void Ledger::WalkHeldThrough(const std::string& name, Station& station) {
    if (!tables_ || writer_.Busy() || station.client_id.empty()) {
        return;
    }
    try {
        const protocol::LinePlace walked =
            tables_->WalkHeldThrough(station.client_id, *station.held_through);
        if (walked != *station.held_through) {
            station.held_through = walked;
            batch_.held_through.insert_or_assign(name, walked);
        }
    } catch (const DatabaseError&) {
        // Asks from the place as it was; the next write finds the database away, if it is.
    }
}

// No weighing of the station for kReplayQuiet: what the replay sent has come.
void Ledger::ReplayQuiet(const std::string& name) {
    Station& station = stations_[name];
    station.replay_quiet.reset();
    log_(name + ": replay through: " + std::to_string(station.replay_new) + " weighings new, " +
         std::to_string(station.replay_held) + " held already");
    if (health_) {
        health_->Update([&name](LedgerHealth& board) {
            board.stations[name].replay = "through";
            ++board.replays_through;
        });
    }
}

// The ledger's own requests come back, and other ledgers' go by. An empty message erases the
// retained request (anyone may publish one on an open broker): a request the station has not yet
// answered is published again, the same, which a station that answered it already ignores.
void Ledger::HandleReplayTopic(const ReplayTopicHeard& heard) {
    const auto station = stations_.find(heard.station);
    if (!heard.erased || station == stations_.end() || !station->second.replay_quiet ||
        station->second.request.empty()) {
        return;
    }
    broker_->Publish(Topic(heard.station, protocol::TopicKind::kReplay), station->second.request, 1,
                     true);
    log_(heard.station + ": the replay request was erased at the broker; published again");
}

void Ledger::HandleMessage(const std::string& topic, const std::string& payload) {
    if (!tables_) {
        return;  // the session is ending; the replay brings it back
    }
    LedgerMessage message =
        ReadLedgerMessage(settings_.broker.topic, topic, payload, WallClockStamp());
    if (const auto* replay = std::get_if<ReplayTopicHeard>(&message)) {
        return HandleReplayTopic(*replay);
    }
    if (auto* weighing = std::get_if<WeighingRow>(&message)) {
        if (Admit(weighing->station, true, topic, payload)) {
            Keep(std::move(*weighing), topic, payload);
        }
    } else if (auto* state = std::get_if<ScaleStateRow>(&message)) {
        if (Admit(state->station, false, topic, payload)) {
            batch_.states.push_back(std::move(*state));
        }
    } else if (auto* status = std::get_if<StationStatusRow>(&message)) {
        if (!Admit(status->station, false, topic, payload)) {
            return Added();
        }
        Station& station = stations_[status->station];
        if (station.requested_round != replay_round_ && broker_->Connected()) {
            RequestReplay(status->station, station);
        }
        batch_.statuses.push_back(std::move(*status));
    } else {
        Reject(std::get<Rejection>(message), topic, payload);
    }
    Added();
}

// A room is kept when the settings list it (or list none) and the roster keeps it: names a
// stranger invents cannot grow the ledger, its tables or its page, nor lock a real room out.
bool Ledger::Admit(const std::string& room, bool weighing, const std::string& topic,
                   const std::string& payload) {
    if (!settings_.rooms.empty() && !settings_.rooms.contains(room)) {
        Reject({RejectKind::kRoomRefused, "not in [Pokoje] accept"}, topic, payload);
        return false;
    }
    std::optional<std::string> forgotten;
    if (!roster_.Admit(room, weighing, loop_.Now(), forgotten)) {
        Reject({RejectKind::kRoomRefused,
                "more than " + std::to_string(roster_.Most()) + " rooms with weighings"},
               topic, payload);
        return false;
    }
    if (forgotten) {
        Forget(*forgotten);
    }
    stations_.try_emplace(room);
    return true;
}

// A room heard only by status or state goes, with its rows, those waiting to be written too.
void Ledger::Forget(const std::string& room) {
    stations_.erase(room);
    std::erase_if(batch_.statuses, [&](const auto& row) { return row.station == room; });
    std::erase_if(batch_.states, [&](const auto& row) { return row.station == room; });
    batch_.forgotten.push_back(room);
    if (health_) {
        health_->Update([&room](LedgerHealth& board) { board.stations.erase(room); });
    }
}

void Ledger::ExpireRooms() {
    const std::vector<std::string> expired = roster_.Expire(loop_.Now());
    for (const std::string& room : expired) {
        Forget(room);
    }
    if (!expired.empty()) {
        Added();
    }
    expire_timer_ = loop_.StartTimer(std::chrono::hours(1), [this] { ExpireRooms(); });
}

// A station's client id is its room's name where the settings say so, else the one of its first
// weighing, and no other station's: a station cannot take the ids of another, which would keep
// that one's weighings out.
void Ledger::Keep(WeighingRow row, const std::string& topic, const std::string& payload) {
    row.topic = protocol::ShownBytes(topic);
    if (settings_.client_id_is_room && row.client_id != row.station) {
        Reject({RejectKind::kForeignId, "not the room's name, as [Pokoje] client_ids=room asks"},
               topic, payload);
        return;
    }
    Station& station = stations_[row.station];
    if (station.client_id.empty()) {
        const auto [bound, fresh] = rooms_by_client_id_.emplace(row.client_id, row.station);
        if (!fresh && bound->second != row.station) {
            Reject({RejectKind::kForeignId, "claimed by station " + bound->second}, topic, payload);
            return;
        }
        station.client_id = row.client_id;
        roster_.Weighed(row.station);
    } else if (station.client_id != row.client_id) {
        Reject({RejectKind::kForeignId, "the station's client id is " + station.client_id}, topic,
               payload);
        return;
    }
    AssumeHeldThrough(station);  // as a replay asked before this weighing would have
    station.newest_month = std::max(station.newest_month, row.month);
    if (row.untrusted_places && health_) {  // read without them: they move nothing
        health_->Update([](LedgerHealth& board) { ++board.untrusted_places; });
    }
    if (station.replay_quiet) {
        station.replay_quiet =
            loop_.StartTimer(kReplayQuiet, [this, name = row.station] { ReplayQuiet(name); });
    }
    batch_.weighings.push_back(std::move(row));
}

// Only a weighing the database has just stored as new moves the place, by the places stored with
// it: one held already may come with other places than those stored (a stranger's copy that
// claims a gap is no gap), and is walked over in the database, by its stored places. The place is
// written with the next transaction, never ahead of its rows.
void Ledger::HoldThrough(Station& station, const WeighingRow& row) {
    if (!row.place || !row.after || !row.next) {
        return;
    }
    // No weighing lies between `after` and the line: held through `after`, it is held through
    // the line.
    if (station.held_through && *row.after <= *station.held_through &&
        *station.held_through <= *row.place) {
        station.held_through = protocol::LinePlace{row.place->month, *row.next};
        batch_.held_through.insert_or_assign(row.station, *station.held_through);
    }
}

void Ledger::Reject(const Rejection& rejection, const std::string& topic,
                    const std::string& payload) {
    std::string reason = RejectKindName(rejection.kind);
    if (!rejection.detail.empty()) {
        reason += ": " + rejection.detail;
    }
    Counted(rejection.kind, reason, topic);
    batch_.rejected.push_back({protocol::ShownBytes(topic), protocol::ShownBytes(payload),
                               std::move(reason), WallClockStamp(),
                               RejectKindName(rejection.kind)});
}

// A rejection said in the log (once per kLogInterval of each kind) and counted on the board.
void Ledger::Counted(RejectKind kind, const std::string& reason, const std::string& topic) {
    Rejections& of_kind = rejected_.try_emplace(kind).first->second;
    ++of_kind.count;
    if (of_kind.said.Due(loop_.Now())) {
        log_("rejected (" + std::to_string(of_kind.count) + " so far of this kind): " + reason +
             ", on " + protocol::ShownBytes(topic, 200));
    }
    if (health_) {
        health_->Update([kind](LedgerHealth& board) { ++board.rejected[RejectKindName(kind)]; });
    }
}

void Ledger::Added() {
    if (batch_.Size() >= kBatchRows) {
        WriteBehind();
        return;
    }
    last_added_ = loop_.Now();
    if (!flush_timer_) {
        batch_begun_ = last_added_;
        flush_timer_ = loop_.StartTimer(kFlowPause, [this] { WriteWhenPaused(); });
    }
}

// Weighings are written once the flow pauses, so that the last of a backlog waits for no interval
// while a flow is written in whole batches (each transaction also writes a row per station it
// holds); and at the latest after kFlushInterval. States and statuses alone wait kFlushInterval:
// they come steadily, and would otherwise each be a transaction.
void Ledger::WriteWhenPaused() {
    const EventLoop::TimePoint now = loop_.Now();
    const EventLoop::TimePoint latest = batch_begun_ + kFlushInterval;
    if (now >= latest || (!batch_.weighings.empty() && now - last_added_ >= kFlowPause)) {
        WriteBehind();
        return;
    }
    // (Looked at again while states alone wait, in case a weighing joins them.)
    flush_timer_ = loop_.StartTimer(kFlowPause, [this] { WriteWhenPaused(); });
}

// The batch is written on the writer's thread while the loop reads the next; the loop waits only
// when that one is ready before the one in hand is written.
void Ledger::WriteBehind() {
    writer_.Finish();
    if (!tables_ || batch_.Empty()) {
        return Flush();
    }
    flush_timer_.reset();
    struct Write {
        Batch batch;
        std::optional<Outcome> outcome;
        std::optional<DatabaseError> error;
    };
    auto write = std::make_shared<Write>();
    write->batch = std::exchange(batch_, {});
    writer_.Run(
        [tables = tables_.get(), write] {
            try {
                write->outcome = TimedWrite(*tables, write->batch);
            } catch (const DatabaseError& error) {
                write->error = error;
            }
        },
        [this, write] {
            if (write->outcome) {
                Committed(write->batch, *write->outcome);
            } else {
                WriteFailed(write->batch, *write->error);
            }
        });
}

void Ledger::Flush() {
    writer_.Finish();
    flush_timer_.reset();
    if (!tables_) {
        if (written_ && batch_.Size() > 0) {
            written_(batch_);  // the live session's, for the page alone
        }
        batch_ = {};
        return;
    }
    // A write's weighings may move places, written next; a write of places alone moves none.
    while (!batch_.Empty()) {
        const Batch batch = std::exchange(batch_, {});
        try {
            Commit(batch);
        } catch (const DatabaseError& error) {
            WriteFailed(batch, error);
            return;
        }
    }
}

// Writes `batch` in one transaction and says how long it took. Throws DatabaseError.
Ledger::Outcome Ledger::TimedWrite(LedgerTables& tables, const Batch& batch) {
    const auto started = std::chrono::steady_clock::now();
    Outcome outcome{tables.Write(batch), 0};
    outcome.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return outcome;
}

// Writes `batch` in one transaction and counts it. Throws DatabaseError.
void Ledger::Commit(const Batch& batch) {
    Committed(batch, TimedWrite(*tables_, batch));
}

// A row the database refuses on its own is written alone; any other failure is the database away.
void Ledger::WriteFailed(const Batch& batch, const DatabaseError& error) {
    if (error.AboutData()) {
        WriteEachAlone(batch);
    } else {
        DatabaseAway(error.what());
    }
}

// Counts a written batch, and tells of it.
void Ledger::Committed(const Batch& batch, const Outcome& outcome) {
    Written(batch, outcome.fates);
    last_write_ = loop_.Now();
    reopen_backoff_.Reset();  // a database that opens but cannot write keeps backing off
    if (health_) {
        health_->Update([&](LedgerHealth& board) {
            board.write_seconds += outcome.seconds;
            ++board.writes;
        });
    }
    if (written_) {
        written_(batch);
    }
}

// A row the database refuses on its own (too long for an index, a value out of a column's range)
// goes to `rejected` with the database's words; every other row of its batch is written.
void Ledger::WriteEachAlone(const Batch& whole) {
    const auto alone = [&](const auto& row, auto rows, const std::string& topic,
                           const std::string& payload) {
        Batch single;
        (single.*rows).push_back(row);
        try {
            Commit(single);
        } catch (const DatabaseError& error) {
            if (!error.AboutData()) {
                throw;
            }
            if (single.rejected.empty()) {
                Reject({RejectKind::kRefusedByDatabase, error.what()}, topic, payload);
            } else {
                log_(std::string("a rejected row the database refused too, dropped: ") +
                     error.what());
            }
        }
    };
    try {
        if (!whole.forgotten.empty()) {
            Batch gone;  // before the rows heard since
            gone.forgotten = whole.forgotten;
            Commit(gone);
        }
        for (const WeighingRow& row : whole.weighings) {
            alone(row, &Batch::weighings,
                  Topic(row.station, protocol::TopicKind::kWeighing, row.scale), row.line);
        }
        for (const ScaleStateRow& row : whole.states) {
            alone(row, &Batch::states, Topic(row.station, protocol::TopicKind::kState, row.scale),
                  row.reading);
        }
        for (const StationStatusRow& row : whole.statuses) {
            alone(row, &Batch::statuses, Topic(row.station, protocol::TopicKind::kStatus), "");
        }
        for (const RejectedRow& row : whole.rejected) {
            alone(row, &Batch::rejected, row.topic, row.payload);
        }
        if (!whole.held_through.empty()) {
            Batch places;  // once the rows they follow on from are written
            places.held_through = whole.held_through;
            Commit(places);
        }
    } catch (const DatabaseError& error) {
        DatabaseAway(error.what());
        return;
    }
    if (!batch_.Empty()) {
        Added();  // the refusals and the places moved, with the next write
    }
}

// Counts what the batch's weighings were, per station and for the health board.
void Ledger::Written(const Batch& batch, const std::vector<LedgerTables::Stored>& fates) {
    std::uint64_t stored = 0;
    std::set<std::string> walk;  // stations with weighings held already: walked by stored places
    for (std::size_t i = 0; i < batch.weighings.size(); ++i) {
        const WeighingRow& row = batch.weighings[i];
        const auto fate = i < fates.size() ? fates[i] : LedgerTables::Stored::kHeldAlready;
        stored += fate == LedgerTables::Stored::kNew;
        Station& station = stations_[row.station];
        ++(fate == LedgerTables::Stored::kNew ? station.replay_new : station.replay_held);
        if (fate == LedgerTables::Stored::kNew) {
            HoldThrough(station, row);
        } else if (fate == LedgerTables::Stored::kHeldAlready) {
            walk.insert(row.station);
        }
        if (fate == LedgerTables::Stored::kConflict) {
            Reject({RejectKind::kConflict, "the first is kept, marked disputed: " + row.id},
                   row.topic, WeighingMessage(row));
        }
    }
    for (const std::string& name : walk) {
        Station& station = stations_[name];
        if (station.held_through) {
            WalkHeldThrough(name, station);
        }
    }
    if (!batch_.Empty()) {
        Added();  // the places moved and the conflicts, written within kFlushInterval at the latest
    }
    if (!health_) {
        return;
    }
    const std::string now = WallClockStamp();
    health_->Update([&](LedgerHealth& board) {
        board.last_write = now;
        board.weighings_stored += stored;
        board.weighings_held_already += batch.weighings.size() - stored;
        for (const WeighingRow& row : batch.weighings) {
            std::string& last = board.stations[row.station].last_weighing;
            if (row.time && *row.time > last) {
                last = *row.time;
            }
        }
    });
}

std::string Ledger::BrokerName() const {
    return settings_.broker.broker + ":" + std::to_string(settings_.broker.port);
}

std::string Ledger::Seconds(std::chrono::steady_clock::duration duration) {
    return std::to_string(std::chrono::duration_cast<std::chrono::seconds>(duration).count()) +
           " s";
}

std::string Ledger::Topic(const std::string& station, protocol::TopicKind kind, int scale) const {
    return protocol::TopicOf(protocol::RoomTopic(settings_.broker.topic, station), kind, scale);
}

}  // namespace station::ledger
