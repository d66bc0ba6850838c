#include "broker/broker_supervisor.h"

namespace station {

net::BrokerOptions BrokerOptionsOf(const PublishSettings& settings) {
    net::BrokerOptions options;
    options.host = settings.broker;
    options.port = settings.port;
    options.client_id = settings.client_id;
    options.username = settings.username;
    options.password = settings.password;
    options.ca_file = settings.ca_file;
    options.cert_file = settings.cert_file;
    options.key_file = settings.key_file;
    return options;
}

BrokerSupervisor::BrokerSupervisor(EventLoop& loop, net::BrokerOptions options, Handlers handlers,
                                   bool yields_client_id, std::string short_sessions_mean)
    : loop_(loop),
      options_(std::move(options)),
      handlers_(std::move(handlers)),
      client_(loop),
      yields_client_id_(yields_client_id),
      short_sessions_mean_(std::move(short_sessions_mean)) {
    client_.on_connected = [this] {
        session_started_ = loop_.Now();
        backoff_.Reset();
        handlers_.connected();
    };
    client_.on_lost = [this](const std::string& reason) { HandleLost(reason); };
    client_.on_acknowledged = [this](int message_id) { handlers_.acknowledged(message_id); };
    client_.on_message = [this](const std::string& topic, const std::string& payload,
                                bool retained) {
        if (handlers_.message) {
            handlers_.message(topic, payload, retained);
        }
    };
    Connect();
}

void BrokerSupervisor::Connect() {
    client_.Connect(options_);
}

void BrokerSupervisor::Pause() {
    retry_timer_.reset();
    session_started_.reset();
    client_.Disconnect();
}

void BrokerSupervisor::Resume() {
    retry_timer_.reset();
    backoff_.Reset();
    Connect();
}

void BrokerSupervisor::HandleLost(const std::string& lost) {
    if (session_started_) {
        short_sessions_ = loop_.Now() - *session_started_ < kShortSession ? short_sessions_ + 1 : 0;
        session_started_.reset();
        if (short_sessions_ == 0) {
            reported_.clear();  // a session that lasted: what ends it is news
        }
    }
    const bool short_run = short_sessions_ >= kShortSessions;
    const bool taken_over = yields_client_id_ && short_run;
    const std::string reason = taken_over                                   ? kSessionTakenOver
                               : short_run && !short_sessions_mean_.empty() ? short_sessions_mean_
                                                                            : lost;
    if (reason != reported_) {
        reported_ = reason;
        handlers_.problem(reason);
    }
    retry_timer_ =
        loop_.StartTimer(taken_over ? std::chrono::milliseconds(kTakenOverWait) : backoff_.Next(),
                         [this] { Connect(); });
    handlers_.lost(reason);
}

}  // namespace station
