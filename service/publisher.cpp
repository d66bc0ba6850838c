#include "service/publisher.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <system_error>
#include <utility>

#include "common/whole_file.h"
#include "core/register/delivery_state.h"
#include "core/register/register_line.h"
#include "protocol/replay_request.h"
#include "protocol/station_status.h"
#include "protocol/topics.h"
#include "service/weighing_message.h"

namespace station {
namespace {

constexpr const char* kStateFileName = "publikacja.stan";
constexpr const char* kReplayFileName = "publikacja.odtworzenie";

Publisher::Status StatusOf(const PublishSettings& settings) {
    Publisher::Status status;
    status.broker = settings.broker + ":" + std::to_string(settings.port);
    status.topic = settings.topic;
    return status;
}

}  // namespace

Publisher::Publisher(EventLoop& loop, TransmissionLog& log, PublishSettings settings,
                     std::string directory, const LocalTime& now, StatusSink on_status)
    : loop_(loop),
      log_(log),
      settings_(std::move(settings)),
      directory_(std::move(directory)),
      state_path_(directory_ + "/" + kStateFileName),
      honoured_replays_(directory_ + "/" + kReplayFileName),
      on_status_(std::move(on_status)),
      status_(StatusOf(settings_)),
      store_(loop, state_path_,
             [this](const std::string& problem) { Report(log_code::kFault, problem); }),
      cursor_(StartingPlace(now)),
      waiting_(directory_),
      units_(directory_),
      evidence_(directory_),
      states_(loop,
              [this](int scale, const StateThinning::ScaleState& state) {
                  return SendState(scale, state);
              }),
      supervisor_(
          loop, Options(),
          {[this] { HandleConnected(); }, [this](const std::string& reason) { HandleLost(reason); },
           [this](int message_id) { HandleAcknowledged(message_id); },
           [this](const std::string& problem) { Report(log_code::kFault, problem); },
           [this](const std::string& topic, const std::string& payload, bool) {
               HandleMessage(topic, payload);
           }},
          false,
          "the broker drops every session as soon as it starts: its ACL may refuse this "
          "station's topic " +
              settings_.topic +
              " ([Publikacja] topic: the room its login may publish under), or another client "
              "uses the same client id or login") {
    ReportStatus();
}

// The states go out on the session before it ends; the broker then publishes the will, so a
// consumer reads the scales as not connected before it reads the station as offline.
Publisher::~Publisher() {
    states_.SendEnded();
    supervisor_.FlushOutgoing();
}

RegisterPosition Publisher::StartingPlace(const LocalTime& now) {
    const DeliveryState state = LoadDeliveryState(state_path_, directory_, now);
    switch (state.kind) {
        case DeliveryState::Kind::kRead:
            return state.place;
        case DeliveryState::Kind::kMissing: {
            // Turned on now: what was saved before stays out.
            RegisterPosition end = RegisterEnd(directory_);
            store_.Keep(end, false);
            return end;
        }
        case DeliveryState::Kind::kDamaged:
            break;
    }
    // Damaged is not missing: starting at the end would skip whatever was not yet delivered.
    const std::string kept_as = DamagedStatePath(state_path_);
    std::string kept = "kept as " + kept_as;
    if (std::rename(state_path_.c_str(), kept_as.c_str()) == 0) {
        status_.damaged_state_kept_as = kept_as;
    } else {
        kept = "cannot be kept aside (" +
               std::error_code(errno, std::generic_category()).message() + ")";
    }
    Report(log_code::kFault, "delivery state " + state_path_ + " damaged (" + state.damage + "), " +
                                 kept + "; delivery starts again at the beginning of " +
                                 state.place.FileName());
    store_.Keep(state.place, false);
    return state.place;
}

net::BrokerOptions Publisher::Options() const {
    net::BrokerOptions options = BrokerOptionsOf(settings_);
    options.will_topic = Topic(protocol::TopicKind::kStatus);
    options.will_payload = protocol::WriteStatus(false);
    return options;
}

void Publisher::HandleConnected() {
    Report(log_code::kEvent, "connected");
    read_to_end_.reset();  // a session reads the register once whatever it was told
    if (supervisor_.Publish(Topic(protocol::TopicKind::kStatus), protocol::WriteStatus(true), 1,
                            true) &&
        supervisor_.Subscribe(Topic(protocol::TopicKind::kReplay), 1)) {
        states_.Resend();
        SendWaiting();
    }
}

void Publisher::HandleLost(const std::string& reason) {
    cursor_.SessionLost();
    if (replay_) {
        replay_->cursor.SessionLost();
    }
    status_.last_problem = reason;
    ReportStatus();
}

void Publisher::HandleAcknowledged(int message_id) {
    bool moved = cursor_.Acknowledged(message_id);
    if (replay_ && replay_->cursor.Acknowledged(message_id)) {
        moved = true;
    }
    if (moved) {
        KeepDelivered();
    }
    SendWaiting();
}

// The register is read again from the month asked for up to what was sent before the request
// came, which whoever asks may have lost; what goes out after it reaches them anyway. The place
// moved back is stored before the request counts as honoured, so a station stopped between the
// two sends the month once more rather than not at all.
void Publisher::HandleMessage(const std::string& topic, const std::string& payload) {
    if (topic != Topic(protocol::TopicKind::kReplay)) {
        return;
    }
    const auto read = protocol::ReadReplayRequest(payload);
    if (const auto* problem = std::get_if<protocol::MessageProblem>(&read)) {
        Report(log_code::kFault, "replay request not read (" + problem->detail + "), ignored");
        return;
    }
    const auto* request = std::get_if<protocol::ReplayRequest>(&read);
    if (honoured_replays_.Contains(request->token)) {
        return;
    }
    const RegisterPosition from{request->from, request->at};
    if (last_replay_ && loop_.Now() - *last_replay_ < protocol::kReplayInterval) {
        if (!deferred_from_ || from < *deferred_from_) {
            deferred_from_ = from;
        }
        // Tokens are bounded in number: beyond that, one more replay is all a repeat costs.
        constexpr std::size_t kMostTokens = 16;
        if (deferred_tokens_.size() < kMostTokens &&
            std::find(deferred_tokens_.begin(), deferred_tokens_.end(), request->token) ==
                deferred_tokens_.end()) {
            deferred_tokens_.push_back(request->token);
        }
        if (!replay_timer_) {
            replay_timer_ =
                loop_.StartTimer(std::chrono::ceil<std::chrono::milliseconds>(
                                     *last_replay_ + protocol::kReplayInterval - loop_.Now()),
                                 [this] { ReplayDeferred(); });
        }
        return;
    }
    Replay(from, {request->token});
}

// A place that is no line's start (inside a line, past the month's end) goes back to the nearest
// line start before it, and one in a month the register does not have to the month's start: a
// replay may send more than was asked, never less. Read once per replay, not per request.
RegisterPosition Publisher::LineStartOf(const RegisterPosition& asked) {
    RegisterPosition from = asked.offset == 0 ? asked : LineStartAtOrBefore(directory_, asked);
    if (from != asked) {
        Report(log_code::kEvent, "replay asked at " + asked.FileName().substr(0, 6) + " offset " +
                                     std::to_string(asked.offset) + ", no line's start: from " +
                                     (from.offset == 0 ? std::string("the month's start")
                                                       : "offset " + std::to_string(from.offset)));
    }
    return from;
}

void Publisher::ReplayDeferred() {
    replay_timer_.reset();
    const RegisterPosition from = *std::exchange(deferred_from_, std::nullopt);
    Replay(from, std::exchange(deferred_tokens_, {}));
}

void Publisher::Replay(RegisterPosition from, const std::vector<std::string>& tokens) {
    last_replay_ = loop_.Now();
    from = LineStartOf(from);
    const std::string asked = from.FileName().substr(0, 6) +
                              (from.offset == 0 ? "" : " offset " + std::to_string(from.offset));
    if (replay_) {
        from = std::min(from, replay_->cursor.Delivered());
    }
    if (from < cursor_.Next()) {
        replay_.emplace(ReplayRun{DeliveryCursor(from), cursor_.Next()});
        store_.Keep(DeliveredPlace(), false);
    }
    std::string named;
    for (const std::string& token : tokens) {
        if (!honoured_replays_.Add(token)) {
            Report(log_code::kFault, "cannot keep the replay request in " +
                                         honoured_replays_.Path() + ": " +
                                         std::error_code(errno, std::generic_category()).message());
        }
        named += (named.empty() ? "" : ", ") + token;
    }
    Report(log_code::kEvent, "replay asked from " + asked + " (request " + named + ")");
    SendWaiting();
}

void Publisher::WeighingSaved() {
    waiting_.Grew();
    read_to_end_.reset();
    SendWaiting();
}

// New saves first, then the replay, each with its own window: a save never waits behind a whole
// replay.
void Publisher::SendWaiting() {
    if (supervisor_.Connected() && !reread_timer_) {
        if (read_to_end_ != cursor_.Next() && SendFrom(cursor_, nullptr)) {
            read_to_end_ = cursor_.Next();
        }
        if (replay_ && SendFrom(replay_->cursor, &replay_->end) &&
            replay_->cursor.InFlight() == 0) {
            replay_.reset();
            KeepDelivered();
        }
    }
    ReportStatus();
}

// Sends the lines after the cursor's place that its window has room for, before `end` if given.
// True when nothing before `end` is left to send.
bool Publisher::SendFrom(DeliveryCursor& cursor, const RegisterPosition* end) {
    const std::size_t room = cursor.Room();
    if (room == 0 || reread_timer_) {
        return false;
    }
    const RegisterRead read = ReadRegisterAfter(directory_, cursor.Next(), room);
    units_.LookAgain();
    evidence_.LookAgain();
    for (const RegisterEntry& entry : read.entries) {
        if (end != nullptr && !(entry.start < *end)) {
            return true;
        }
        const std::optional<RegisterLineFields> fields = SplitRegisterLine(entry.line);
        if (!fields) {
            Report(log_code::kFault, "not a weighing, not published: the line at " +
                                         entry.start.FileName() + " offset " +
                                         std::to_string(entry.start.offset));
            if (cursor.Skipped(entry.end)) {
                KeepDelivered();
            }
            continue;
        }
        const std::optional<int> message_id = supervisor_.Publish(
            Topic(protocol::TopicKind::kWeighing, fields->scale),
            WeighingMessage(entry, *fields, settings_.client_id, units_.UnitOf(entry),
                            cursor.SentEnd(), evidence_.EvidenceOf(entry)),
            1, false);
        if (!message_id) {
            return false;  // the session ended; all of it goes again on the next one
        }
        cursor.Sent(*message_id, entry.end);
    }
    if (!read.problem.empty()) {
        RegisterUnreadable(read.problem);
        return false;
    }
    if (read.entries.size() < room) {  // read to the end, so past any bad file
        status_.register_readable = true;
        reread_backoff_.Reset();
        return true;
    }
    return false;
}

// Everything before it was acknowledged, the replay's lines included.
RegisterPosition Publisher::DeliveredPlace() const {
    return replay_ ? std::min(cursor_.Delivered(), replay_->cursor.Delivered())
                   : cursor_.Delivered();
}

void Publisher::KeepDelivered() {
    const std::size_t in_flight = cursor_.InFlight() + (replay_ ? replay_->cursor.InFlight() : 0);
    store_.Keep(DeliveredPlace(), in_flight > 0);
}

void Publisher::RegisterUnreadable(const std::string& problem) {
    if (status_.register_readable || problem != status_.last_problem) {
        Report(log_code::kFault, problem + "; delivery waits there");
    }
    status_.register_readable = false;
    status_.last_problem = problem;
    reread_timer_ = loop_.StartTimer(reread_backoff_.Next(), [this] {
        reread_timer_.reset();
        SendWaiting();
    });
}

void Publisher::ReadingShown(int scale, const Reading& reading) {
    states_.ReadingShown(scale, reading);
}

void Publisher::LampShown(int scale, Lamp lamp) {
    states_.ConnectionShown(scale, lamp == Lamp::kGreen);
}

bool Publisher::SendState(int scale, const StateThinning::ScaleState& state) {
    return supervisor_.Connected() &&
           supervisor_.Publish(
               Topic(protocol::TopicKind::kState, scale),
               ScaleStateMessage(state.connected, state.reading, log_.WallClock().Seconds()), 0,
               true);
}

void Publisher::ReportStatus() {
    status_.connected = supervisor_.Connected();
    status_.waiting = waiting_.After(cursor_.Delivered());
    on_status_(status_);
}

void Publisher::Report(int code, const std::string& text) {
    const std::string line = "MQTT " + status_.broker + ": " + text;
    if (code == log_code::kFault) {
        ReportPublishingProblem(log_, line);
    } else {
        log_.LogTransmission(code, line, 0);
    }
}

void ReportPublishingProblem(TransmissionLog& log, const std::string& text) {
    log.LogTransmission(log_code::kFault, text, 0);
    std::cerr << "tarvelio: " << text << '\n';
}

std::string Publisher::Topic(protocol::TopicKind kind, int scale) const {
    return protocol::TopicOf(settings_.topic, kind, scale);
}

}  // namespace station
