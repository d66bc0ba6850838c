#include "app/publisher.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <ctime>
#include <iostream>
#include <optional>

#include "core/files/io_error.h"
#include "core/register/weighing_message.h"

namespace station {
namespace {

constexpr std::chrono::seconds kFirstBackoff{1};
constexpr std::chrono::seconds kLongestBackoff{60};
constexpr std::size_t kWindow = 20;  // weighings sent and not yet acknowledged
constexpr const char* kStateFileName = "publikacja.stan";

}  // namespace

std::string HostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') {
        return "station";
    }
    return name;
}

Publisher::Publisher(EventLoop& loop, TransmissionLog& log, PublishSettings settings,
                     std::string directory, StatusSink on_status)
    : loop_(loop),
      log_(log),
      settings_(std::move(settings)),
      directory_(std::move(directory)),
      state_path_(directory_ + "/" + kStateFileName),
      on_status_(std::move(on_status)),
      client_(loop),
      backoff_(kFirstBackoff) {
    status_.broker = settings_.broker + ":" + std::to_string(settings_.port);
    if (const auto stored = LoadRegisterPosition(state_path_)) {
        delivered_ = *stored;
    } else {
        // Turned on now: what was saved before stays out.
        delivered_ = RegisterEnd(directory_);
        try {
            StoreRegisterPosition(state_path_, delivered_);
        } catch (const InOutError& error) {
            Report(log_code::kFault, std::string("cannot keep the delivery state in ") +
                                         state_path_ + ": " + error.what());
        }
    }
    next_ = delivered_;
    status_.waiting = CountRegisterAfter(directory_, delivered_);
    client_.on_connected = [this] { HandleConnected(); };
    client_.on_lost = [this](const std::string& reason) { HandleLost(reason); };
    client_.on_acknowledged = [this](int message_id) { HandleAcknowledged(message_id); };
    Connect();
}

Publisher::~Publisher() = default;

void Publisher::Connect() {
    net::BrokerOptions options;
    options.host = settings_.broker;
    options.port = settings_.port;
    options.client_id = settings_.client_id;
    options.username = settings_.username;
    options.password = settings_.password;
    options.ca_file = settings_.ca_file;
    options.cert_file = settings_.cert_file;
    options.key_file = settings_.key_file;
    options.will_topic = Topic("status");
    options.will_payload = "offline";
    client_.Connect(options);
    on_status_(status_);
}

void Publisher::HandleConnected() {
    backoff_ = kFirstBackoff;
    logged_problem_.clear();
    status_.connected = true;
    Report(log_code::kEvent, "connected");
    if (!client_.Publish(Topic("status"), "online", 1, true)) {
        return;
    }
    for (int scale = 1; IsScaleNumber(scale) && client_.Connected(); ++scale) {
        StateChanged(scale);
    }
    SendWaiting();
}

void Publisher::HandleLost(const std::string& reason) {
    status_.connected = false;
    in_flight_.clear();
    next_ = delivered_;
    status_.last_problem = reason;
    if (reason != logged_problem_) {
        logged_problem_ = reason;
        Report(log_code::kFault, reason);
    }
    reconnect_timer_ = loop_.StartTimer(backoff_, [this] { Connect(); });
    backoff_ = std::min(backoff_ * 2, kLongestBackoff);
    on_status_(status_);
}

void Publisher::HandleAcknowledged(int message_id) {
    const auto found =
        std::find_if(in_flight_.begin(), in_flight_.end(),
                     [&](const InFlight& sent) { return sent.message_id == message_id; });
    if (found == in_flight_.end()) {
        return;  // a status or state message
    }
    found->acknowledged = true;
    const RegisterPosition before = delivered_;
    while (!in_flight_.empty() && in_flight_.front().acknowledged) {
        delivered_ = in_flight_.front().end;
        in_flight_.pop_front();
        --status_.waiting;
    }
    if (delivered_ != before) {
        try {
            StoreRegisterPosition(state_path_, delivered_);
        } catch (const InOutError& error) {
            Report(log_code::kFault, std::string("cannot keep the delivery state in ") +
                                         state_path_ + ": " + error.what());
        }
    }
    SendWaiting();
}

void Publisher::WeighingSaved() {
    ++status_.waiting;
    SendWaiting();
}

void Publisher::SendWaiting() {
    // Refilled by halves, so that working off a backlog reads each line once.
    if (client_.Connected() && in_flight_.size() <= kWindow / 2) {
        for (const RegisterEntry& entry :
             ReadRegisterAfter(directory_, next_, kWindow - in_flight_.size())) {
            const std::optional<int> message_id = client_.Publish(
                Topic("waga" + std::to_string(ScaleOfLine(entry.line)) + "/weighing"),
                WeighingMessage(entry, settings_.client_id), 1, false);
            if (!message_id) {
                break;  // the session ended; all of it goes again on the next one
            }
            in_flight_.push_back({*message_id, entry.end});
            next_ = entry.end;
        }
    }
    on_status_(status_);
}

void Publisher::ScaleShown(int scale, const std::string& reading) {
    ScaleState& state = scales_.at(static_cast<std::size_t>(scale - 1));
    if (state.reading != reading) {
        state.reading = reading;
        StateChanged(scale);
    }
}

void Publisher::ScaleConnected(int scale, bool connected) {
    ScaleState& state = scales_.at(static_cast<std::size_t>(scale - 1));
    if (state.connected != connected) {
        state.connected = connected;
        StateChanged(scale);
    }
}

void Publisher::StateChanged(int scale) {
    ScaleState& state = scales_.at(static_cast<std::size_t>(scale - 1));
    if (!client_.Connected() || state.send_timer) {
        return;  // sent on connection, or when the timer runs
    }
    const auto since = std::chrono::steady_clock::now() - state.last_sent;
    if (since >= kStateInterval) {
        SendState(scale);
        return;
    }
    state.send_timer = loop_.StartTimer(
        std::chrono::ceil<std::chrono::milliseconds>(kStateInterval - since), [this, scale] {
            scales_.at(static_cast<std::size_t>(scale - 1)).send_timer.reset();
            if (client_.Connected()) {
                SendState(scale);
            }
        });
}

void Publisher::SendState(int scale) {
    ScaleState& state = scales_.at(static_cast<std::size_t>(scale - 1));
    client_.Publish(Topic("waga" + std::to_string(scale) + "/state"),
                    ScaleStateMessage(state.connected, state.reading, std::time(nullptr)), 0, true);
    state.last_sent = std::chrono::steady_clock::now();
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

void PublishedDisplays::SetReadingText(int scale, const std::string& text) {
    shown_.SetReadingText(scale, text);
    if (publisher_ != nullptr && IsScaleNumber(scale)) {
        publisher_->ScaleShown(scale, text);
    }
}

std::string Publisher::Topic(const std::string& leaf) const {
    return settings_.topic + "/" + leaf;
}

}  // namespace station
