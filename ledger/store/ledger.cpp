#include "ledger/store/ledger.h"

#include <optional>
#include <utility>

#include "protocol/iso_time.h"
#include "protocol/topics.h"
#include "protocol/utf8_text.h"

namespace station::ledger {

Ledger::Ledger(EventLoop& loop, StoreSettings settings, LogSink log, WrittenSink written,
               Startup startup, HealthBoard* health)
    : loop_(loop),
      settings_(std::move(settings)),
      log_(std::move(log)),
      written_(std::move(written)),
      health_(health != nullptr ? health : &own_health_),
      roster_(settings_.most_rooms),
      rejections_(loop, log_, health_),
      book_(loop,
            {[this](const auto&... a) { return WalkHeld(a...); },
             [this](const auto&... a) { return PublishRequest(a...); },
             [this](const auto&... a) { ReplayAsked(a...); },
             [this](const auto&... a) { ReplayThrough(a...); },
             [this](const std::string& room, protocol::LinePlace place) {
                 writer_.Pending().held_through.insert_or_assign(room, place);
             }},
            settings_.first_month, settings_.client_id_is_room, settings_.broker.client_id),
      intake_(loop, settings_.broker, settings_.share,
              {[this] { book_.NewRound(); }, [this] { AskOwed(); },
               [this](const auto&... a) { Heard(a...); },
               startup.refused ? [refused = startup.refused, this](const std::string& reason) {
                   refused("broker " + settings_.broker.broker + " refused the login: " + reason);
               } : std::function<void(const std::string&)>(),
               [this](const auto&... a) { HeardLive(a...); }},
              log_, health_, settings_.follow_halls ? &wall_clock_ : nullptr),
      keeper_(loop, settings_.database_url, settings_.database_password,
              {[this](LedgerTables& tables) { Load(tables); }, [this](bool back) { Opened(back); },
               [this] { Away(); }, [this] { return writer_.Busy(); }},
              log_, std::move(startup), health_),
      seals_(settings_, health_),
      writer_(
          loop,
          {[this](const auto&... a) { Written(a...); },
           [this](const Batch& batch) {
               if (written_) {
                   written_(batch);  // the live session's, for the page alone
               }
           },
           [this](const std::string& topic, const std::string& payload, const std::string& reason) {
               Reject({LedgerProblem::kRefusedByDatabase, reason}, topic, payload);
           },
           [this](const std::string& reason) { keeper_.Away(reason); },
           [this](Batch& batch) { seals_.Judge(batch, rejections_, WallClockStamp()); }},
          settings_.broker.topic, log_) {
    keeper_.Open();
    ExpireRooms();
}

Ledger::~Ledger() {
    Flush();
}

// What a lost write left in memory is not in the database.
void Ledger::Load(LedgerTables& tables) {
    const std::vector<LedgerTables::Station> rows = tables.Stations();
    roster_.Clear();
    for (const LedgerTables::Station& row : rows) {
        roster_.Load(row.name, !row.client_id.empty(), loop_.Now());
    }
    book_.Load(rows);
    seals_.Load(rows);
    health_->Update([&rows](LedgerHealth& board) {
        for (const LedgerTables::Station& row : rows) {
            board.Known(row.name, row.online, row.status_received);
        }
    });
    tables_ = &tables;
}

void Ledger::Opened(bool back) {
    writer_.Use(tables_);
    if (back) {
        book_.NewRound();
        AskOwed();
    }
    intake_.Start();
}

// What was taken from the broker and not written is gone from it: the replay brings it back.
void Ledger::Away() {
    writer_.Use(nullptr);
    tables_ = nullptr;
    intake_.Pause();
}

std::string Ledger::WallClockStamp() {
    return protocol::IsoLocalTime(wall_clock_.Seconds());
}

// A room's status keeps the time it came or went: the row stored and shown carries that time.
void Ledger::Show(LedgerMessage& message, bool retained) {
    const std::optional<std::time_t> now =
        retained ? std::nullopt : std::optional(wall_clock_.Seconds());
    health_->Update([&message, now](LedgerHealth& board) { board.Heard(message, now); });
}

void Ledger::AskOwed() {
    writer_.Finish();  // the places held are walked on in the database
    if (tables_ && intake_.Connected()) {
        book_.AskOwed();
    }
}

// Only rooms the ledger knows: a stranger's names wait for the database, and its rules.
void Ledger::HeardLive(const std::string& topic, const std::string& payload, bool retained) {
    LedgerMessage message =
        ReadLedgerMessage(settings_.broker.topic, topic, payload, WallClockStamp());
    Batch& batch = writer_.Pending();
    if (auto* state = std::get_if<ScaleStateRow>(&message); state && book_.Knows(state->station)) {
        Show(message, retained);
        batch.states.push_back(std::move(*state));
    } else if (auto* status = std::get_if<StationStatusRow>(&message);
               status && book_.Knows(status->station)) {
        Show(message, retained);
        batch.statuses.push_back(std::move(*status));
    } else {
        return;
    }
    writer_.Added();
}

void Ledger::Heard(const std::string& topic, const std::string& payload, bool retained) {
    if (!tables_) {
        return;  // the session is ending; the replay brings it back
    }
    LedgerMessage message =
        ReadLedgerMessage(settings_.broker.topic, topic, payload, WallClockStamp());
    if (const auto* replay = std::get_if<ReplayTopicHeard>(&message)) {
        // The ledger's own requests come back, and other ledgers' go by. An empty message erases
        // the retained request (anyone may publish one on an open broker).
        if (replay->erased && book_.RequestErased(replay->station)) {
            log_(replay->station +
                 ": the replay request was erased at the broker; published again");
        }
        return;
    }
    Batch& batch = writer_.Pending();
    if (auto* weighing = std::get_if<WeighingRow>(&message)) {
        if (Admit(weighing->station, true, topic, payload)) {
            Show(message, retained);
            Keep(std::move(*weighing), topic, payload);
        }
    } else if (auto* state = std::get_if<ScaleStateRow>(&message)) {
        if (Admit(state->station, false, topic, payload)) {
            Show(message, retained);
            batch.states.push_back(std::move(*state));
        }
    } else if (auto* status = std::get_if<StationStatusRow>(&message)) {
        if (Admit(status->station, false, topic, payload)) {
            Show(message, retained);
            if (intake_.Connected()) {
                book_.AskIfOwed(status->station);
            }
            writer_.Pending().statuses.push_back(std::move(*status));
        }
    } else {
        Reject(std::get<Rejection>(message), topic, payload);
    }
    writer_.Added();
}

// A room is kept when the settings list it (or list none) and the roster keeps it: names a
// stranger invents cannot grow the ledger, its tables or its page, nor lock a real room out.
bool Ledger::Admit(const std::string& room, bool weighing, const std::string& topic,
                   const std::string& payload) {
    if (!settings_.rooms.empty() && !settings_.rooms.contains(room)) {
        Reject({LedgerProblem::kRoomRefused, "not in [Pokoje] accept"}, topic, payload);
        return false;
    }
    std::optional<std::string> forgotten;
    if (!roster_.Admit(room, weighing, loop_.Now(), forgotten)) {
        Reject({LedgerProblem::kRoomRefused,
                "more than " + std::to_string(roster_.Most()) + " rooms with weighings"},
               topic, payload);
        return false;
    }
    if (forgotten) {
        Forget(*forgotten);
    }
    book_.Add(room);
    return true;
}

// A room heard only by status or state goes, with its rows, those waiting to be written too.
void Ledger::Forget(const std::string& room) {
    book_.Forget(room);
    Batch& batch = writer_.Pending();
    std::erase_if(batch.statuses, [&](const auto& row) { return row.station == room; });
    std::erase_if(batch.states, [&](const auto& row) { return row.station == room; });
    batch.forgotten.push_back(room);
    health_->Update([&room](LedgerHealth& board) { board.stations.erase(room); });
}

void Ledger::ExpireRooms() {
    const std::vector<std::string> expired = roster_.Expire(loop_.Now());
    for (const std::string& room : expired) {
        Forget(room);
    }
    if (!expired.empty()) {
        writer_.Added();
    }
    expire_timer_ = loop_.StartTimer(std::chrono::hours(1), [this] { ExpireRooms(); });
}

void Ledger::Keep(WeighingRow row, const std::string& topic, const std::string& payload) {
    row.topic = protocol::ShownBytes(topic);
    const ReplayBook::Binding binding = book_.Bind(row);
    if (!binding.refused.empty()) {
        return Reject({LedgerProblem::kForeignId, binding.refused}, topic, payload);
    }
    if (binding.bound_first) {
        roster_.Weighed(row.station);
    }
    book_.Heard(row);
    if (row.untrusted_places) {  // read without them: they move nothing
        health_->Update([](LedgerHealth& board) { ++board.untrusted_places; });
    }
    writer_.Pending().weighings.push_back(std::move(row));
}

void Ledger::Reject(const Rejection& rejection, const std::string& topic,
                    const std::string& payload) {
    writer_.Pending().rejected.push_back(
        rejections_.Rejected(rejection, topic, payload, WallClockStamp()));
}

// Rejects the batch's conflicts, counts it on the board, and tells of it.
void Ledger::Written(const Batch& batch, const std::vector<LedgerTables::Stored>& fates,
                     double seconds) {
    book_.Stored(batch.weighings, fates);
    for (std::size_t i = 0; i < batch.weighings.size() && i < fates.size(); ++i) {
        if (fates[i] == LedgerTables::Stored::kConflict) {
            const WeighingRow& row = batch.weighings[i];
            Reject({LedgerProblem::kConflict, "the first is kept, marked disputed: " + row.id},
                   row.topic, WeighingMessage(row));
        }
    }
    keeper_.Wrote();
    const std::string stamp = WallClockStamp();
    const std::time_t now = wall_clock_.Seconds();
    health_->Update(
        [&](LedgerHealth& board) { board.Written(batch.weighings, fates, stamp, now, seconds); });
    if (written_) {
        written_(batch);
    }
}

std::optional<protocol::LinePlace> Ledger::WalkHeld(const std::string& client_id,
                                                    protocol::LinePlace from) {
    // Not while a batch is being written: the database is the writer's then.
    if (!tables_ || writer_.Busy()) {
        return std::nullopt;
    }
    try {
        return tables_->WalkHeldThrough(client_id, from);
    } catch (const DatabaseError&) {
        return std::nullopt;  // the next write finds the database away, if it is
    }
}

bool Ledger::PublishRequest(const std::string& room, const std::string& request) {
    return intake_.PublishRetained(
        protocol::TopicOf(protocol::RoomTopic(settings_.broker.topic, room),
                          protocol::TopicKind::kReplay),
        request);
}

void Ledger::ReplayAsked(const std::string& room, protocol::LinePlace from,
                         const std::string& token) {
    log_(room + ": replay asked from " + from.month.Text() +
         (from.offset == 0 ? "" : " offset " + std::to_string(from.offset)) + " (request " + token +
         ")");
    health_->Update([&room](LedgerHealth& board) {
        board.stations[room].replay = "asked";
        ++board.replays_asked;
    });
}

void Ledger::ReplayThrough(const std::string& room, std::uint64_t fresh, std::uint64_t held) {
    log_(room + ": replay through: " + std::to_string(fresh) + " weighings new, " +
         std::to_string(held) + " held already");
    health_->Update([&room](LedgerHealth& board) {
        board.stations[room].replay = "through";
        ++board.replays_through;
    });
}

}  // namespace station::ledger
