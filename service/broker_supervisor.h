#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/event_loop.h"
#include "net/broker_client.h"
#include "service/backoff.h"

namespace station {

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
    };

    BrokerSupervisor(EventLoop& loop, net::BrokerOptions options, Handlers handlers);

    bool Connected() const { return client_.Connected(); }
    // As BrokerClient::Publish.
    std::optional<int> Publish(const std::string& topic, const std::string& payload, int qos,
                               bool retain) {
        return client_.Publish(topic, payload, qos, retain);
    }

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
