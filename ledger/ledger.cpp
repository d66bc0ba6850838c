#include "ledger/ledger.h"

#include <ctime>

#include "service/replay_request.h"
#include "service/weighing_message.h"

namespace station::ledger {
namespace {

net::BrokerOptions Options(const PublishSettings& settings) {
    net::BrokerOptions options = BrokerOptionsOf(settings);
    options.keep_session = true;  // the broker keeps the weighings while the ledger is away
    return options;
}

std::string Now() {
    return IsoLocalTime(std::time(nullptr));
}

}  // namespace

Ledger::Ledger(EventLoop& loop, LedgerSettings settings, LogSink log, WrittenSink written)
    : loop_(loop),
      settings_(std::move(settings)),
      log_(std::move(log)),
      written_(std::move(written)) {
    NewReplayRound();
    OpenDatabase();
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
        stations_.clear();  // what a lost write left in memory is not in the database
        for (const LedgerTables::Station& row : tables_->Stations()) {
            Station& station = stations_[row.name];
            station.client_id = row.client_id;
            station.newest_month = row.newest_month;
        }
    } catch (const DatabaseError& error) {
        DatabaseAway(error.what());
        return;
    }
    reopen_backoff_.Reset();
    if (!database_problem_.empty()) {
        log_("database back: the stations are asked to send again what may have been lost");
        database_problem_.clear();
        NewReplayRound();
    }
    if (!broker_) {
        broker_ = std::make_unique<BrokerSupervisor>(
            loop_, Options(settings_.broker),
            BrokerSupervisor::Handlers{
                [this] { HandleConnected(); }, [](const std::string&) {}, [](int) {},
                [this](const std::string& problem) {
                    log_("broker " + settings_.broker.broker + ":" +
                         std::to_string(settings_.broker.port) + ": " + problem);
                },
                [this](const std::string& topic, const std::string& payload, bool) {
                    HandleMessage(topic, payload);
                }});
    } else {
        broker_->Resume();
    }
}

// What was taken from the broker and not written is gone from it: the replay brings it back.
void Ledger::DatabaseAway(const std::string& reason) {
    if (reason != database_problem_) {
        log_("database: " + reason + "; messages wait at the broker until it is back");
    }
    database_problem_ = reason.empty() ? "failed" : reason;
    batch_ = {};
    flush_timer_.reset();
    if (broker_) {
        broker_->Pause();
    }
    tables_.reset();
    database_.reset();
    reopen_timer_ = loop_.StartTimer(reopen_backoff_.Next(), [this] { OpenDatabase(); });
}

void Ledger::HandleConnected() {
    if (!broker_->SessionPresent()) {
        ++replay_round_;  // what the broker held for the ledger is gone
    }
    const std::string weighings = settings_.broker.topic + "/+/+/weighing";
    // Retained messages never go to a shared subscription: statuses and states come to each.
    if (!broker_->Subscribe(settings_.broker.topic + "/+/status", 1) ||
        !broker_->Subscribe(settings_.broker.topic + "/+/+/state", 0) ||
        !broker_->Subscribe(
            settings_.share.empty() ? weighings : "$share/" + settings_.share + "/" + weighings,
            1)) {
        return;
    }
    RequestOwedReplays();
}

void Ledger::NewReplayRound() {
    ++replay_round_;
    if (broker_ && broker_->Connected()) {
        RequestOwedReplays();
    }
}

void Ledger::RequestOwedReplays() {
    for (auto& [name, station] : stations_) {
        if (station.requested_round != replay_round_) {
            RequestReplay(name, station);
        }
    }
}

void Ledger::RequestReplay(const std::string& name, Station& station) {
    const int from =
        station.newest_month != 0 ? PreviousMonth(station.newest_month) : settings_.first_month;
    const std::string token = settings_.broker.client_id + "/" +
                              std::to_string(std::time(nullptr)) + "/" +
                              std::to_string(replay_round_);
    if (broker_->Publish(Topic(name, "replay"), ReplayRequestMessage({token, std::to_string(from)}),
                         1, true)) {
        station.requested_round = replay_round_;
    }
}

void Ledger::HandleMessage(const std::string& topic, const std::string& payload) {
    if (!tables_) {
        return;  // the session is ending; the replay brings it back
    }
    LedgerMessage message = ReadLedgerMessage(settings_.broker.topic, topic, payload, Now());
    if (auto* weighing = std::get_if<WeighingRow>(&message)) {
        Keep(std::move(*weighing), topic, payload);
    } else if (auto* state = std::get_if<ScaleStateRow>(&message)) {
        batch_.states.push_back(std::move(*state));
    } else if (auto* status = std::get_if<StationStatusRow>(&message)) {
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

// A station's client id is the one of its first weighing, and no other station's: a station
// cannot take the ids of another, which would keep that one's weighings out.
void Ledger::Keep(WeighingRow row, const std::string& topic, const std::string& payload) {
    Station& station = stations_[row.station];
    if (station.client_id.empty()) {
        for (const auto& [name, other] : stations_) {
            if (other.client_id == row.client_id) {
                Reject({RejectKind::kForeignId, "claimed by station " + name}, topic, payload);
                return;
            }
        }
        station.client_id = row.client_id;
    } else if (station.client_id != row.client_id) {
        Reject({RejectKind::kForeignId, "the station's client id is " + station.client_id}, topic,
               payload);
        return;
    }
    station.newest_month = std::max(station.newest_month, row.month);
    batch_.weighings.push_back(std::move(row));
}

void Ledger::Reject(const Rejection& rejection, const std::string& topic,
                    const std::string& payload) {
    std::string reason = RejectKindName(rejection.kind);
    if (!rejection.detail.empty()) {
        reason += ": " + rejection.detail;
    }
    auto [entry, first] = rejected_.try_emplace(rejection.kind, 0, EventLoop::TimePoint{});
    auto& [count, said] = entry->second;
    ++count;
    if (first || loop_.Now() - said >= kLogInterval) {
        said = loop_.Now();
        log_("rejected (" + std::to_string(count) + " so far of this kind): " + reason + ", on " +
             ShownBytes(topic, 200));
    }
    batch_.rejected.push_back({ShownBytes(topic), ShownBytes(payload), std::move(reason), Now()});
}

void Ledger::Added() {
    if (batch_.Size() >= kBatchRows) {
        Flush();
    } else if (!flush_timer_) {
        flush_timer_ = loop_.StartTimer(kFlushInterval, [this] { Flush(); });
    }
}

void Ledger::Flush() {
    flush_timer_.reset();
    if (!tables_ || batch_.Size() == 0) {
        return;
    }
    try {
        tables_->Write(batch_);
        if (written_) {
            written_(batch_);
        }
        batch_ = {};
    } catch (const DatabaseError& error) {
        DatabaseAway(error.what());
    }
}

std::string Ledger::Topic(const std::string& station, const std::string& leaf) const {
    return settings_.broker.topic + "/" + station + "/" + leaf;
}

}  // namespace station::ledger
