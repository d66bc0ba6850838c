#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/event_loop.h"
#include "broker/backoff.h"
#include "broker/publish_settings.h"
#include "net/broker_client.h"

namespace station {

// Where and how to reach the broker the settings name, without a will or a lasting session.
net::BrokerOptions BrokerOptionsOf(const PublishSettings& settings);

// The reason a supervisor that yields its client id gives for sessions the broker keeps ending
// as soon as they start: what an MQTT 3.1.1 broker does when two clients take turns with one id.
inline constexpr const char* kSessionTakenOver =
    "the broker ended the session within seconds of its start, three times running: another "
    "client is using the same client id";

// Keeps a session with the broker: connects at once, and after every lost attempt or session
// tries again after Backoff's wait, which a session that comes up resets. One that yields its
// client id does not fight another client for it: after kShortSessions sessions running that
// each ended within kShortSession of its start, and after each further one, it reports
// kSessionTakenOver and waits kTakenOverWait; one given what such sessions mean to it (a
// station's topic that the broker's ACL refuses: the broker lets it in and drops it at its first
// message) reports that instead of the loss. A problem is reported once per change, not once per
// try, until a session lasts.
class BrokerSupervisor {
public:
    static constexpr std::chrono::seconds kShortSession{5};
    static constexpr int kShortSessions = 3;
    static constexpr std::chrono::minutes kTakenOverWait{1};

    struct Handlers {
        std::function<void()> connected;
        std::function<void(const std::string& reason)> lost;
        std::function<void(int message_id)> acknowledged;
        std::function<void(const std::string& problem)> problem;  // a new reason for failing
        // A message on a subscription; may be left empty by a client that subscribes to nothing.
        std::function<void(const std::string& topic, const std::string& payload, bool retained)>
            message;
    };

    BrokerSupervisor(EventLoop& loop, net::BrokerOptions options, Handlers handlers,
                     bool yields_client_id = false, std::string short_sessions_mean = {});

    bool Connected() const { return client_.Connected(); }
    bool SessionPresent() const { return client_.SessionPresent(); }
    // As BrokerClient::LoginRefused.
    bool LoginRefused() const { return client_.LoginRefused(); }
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
    bool yields_client_id_;
    std::string short_sessions_mean_;
    std::optional<EventLoop::TimePoint> session_started_;  // while a session is up
    int short_sessions_ = 0;                               // running
};

}  // namespace station
