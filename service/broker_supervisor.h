#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/event_loop.h"
#include "core/settings/publish_settings.h"
#include "net/broker_client.h"
#include "service/backoff.h"

namespace station {

// Where and how to reach the broker the settings name, without a will or a lasting session.
net::BrokerOptions BrokerOptionsOf(const PublishSettings& settings);

// Keeps a session with the broker: connects at once, and after every lost attempt or session
// tries again after Backoff's wait, which a session that comes up resets. A problem is reported
// once per change, not once per try.
class BrokerSupervisor {
public:
    struct Handlers {
        std::function<void()> connected;
        std::function<void(const std::string& reason)> lost;
        std::function<void(int message_id)> acknowledged;
        std::function<void(const std::string& problem)> problem;  // a new reason for failing
        // A message on a subscription; may be left empty by a client that subscribes to nothing.
        std::function<void(const std::string& topic, const std::string& payload, bool retained)>
            message;
    };

    BrokerSupervisor(EventLoop& loop, net::BrokerOptions options, Handlers handlers);

    bool Connected() const { return client_.Connected(); }
    bool SessionPresent() const { return client_.SessionPresent(); }
    // As BrokerClient::Publish.
    std::optional<int> Publish(const std::string& topic, const std::string& payload, int qos,
                               bool retain) {
        return client_.Publish(topic, payload, qos, retain);
    }
    // As BrokerClient::FlushOutgoing.
    void FlushOutgoing() { client_.FlushOutgoing(); }
    // As BrokerClient::Subscribe.
    bool Subscribe(const std::string& topic, int qos) { return client_.Subscribe(topic, qos); }

    // Ends the session and tries no more until Resume: the broker keeps a lasting session's
    // messages meanwhile.
    void Pause();
    // Connects again at once, after Pause.
    void Resume();

private:
    void Connect();
    void HandleLost(const std::string& reason);

    EventLoop& loop_;
    net::BrokerOptions options_;
    Handlers handlers_;
    net::BrokerClient client_;
    Backoff backoff_;
    std::unique_ptr<Timer> retry_timer_;
    std::string reported_;  // the problem reported since the last session
};

}  // namespace station
