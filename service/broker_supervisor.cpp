#include "service/broker_supervisor.h"

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

BrokerSupervisor::BrokerSupervisor(EventLoop& loop, net::BrokerOptions options, Handlers handlers)
    : loop_(loop), options_(std::move(options)), handlers_(std::move(handlers)), client_(loop) {
    client_.on_connected = [this] {
        backoff_.Reset();
        reported_.clear();
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
    client_.Disconnect();
}

void BrokerSupervisor::Resume() {
    retry_timer_.reset();
    backoff_.Reset();
    Connect();
}

void BrokerSupervisor::HandleLost(const std::string& reason) {
    if (reason != reported_) {
        reported_ = reason;
        handlers_.problem(reason);
    }
    retry_timer_ = loop_.StartTimer(backoff_.Next(), [this] { Connect(); });
    handlers_.lost(reason);
}

}  // namespace station
