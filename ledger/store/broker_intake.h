#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "base/event_loop.h"
#include "base/log_throttle.h"
#include "broker/broker_supervisor.h"
#include "broker/publish_settings.h"
#include "ledger/store/hall_links.h"
#include "ledger/store/ledger_health.h"

namespace station::ledger {

// The ledger's two sessions with the broker. The ledger's own, a lasting one the broker keeps the
// weighings in while the ledger is away, hears the stations' weighings (through a shared
// subscription when `share` is set), statuses, states and replay topics, and publishes the replay
// requests; it is paused while the database is away. Meanwhile a clean one hears the statuses and
// states alone, for the live view: they are what the rooms do now.
//
// The log shows that the flow is whole: the broker connected (and whether it kept the session),
// lost and back (in one line when it is back within kBrokerBlip), or still away once per
// kLogInterval. A session regained after any loss is doubted (another client may have held it and
// dropped what the broker kept), as is one the broker did not keep: a new round of replays follows.
class BrokerIntake {
public:
    static constexpr std::chrono::seconds kBrokerBlip{5};
    static constexpr std::chrono::minutes kLogInterval{1};

    struct Handlers {
        // The ledger's session came up without all the broker kept for it: a new replay round.
        std::function<void()> session_doubted;
        // The ledger's session is up and subscribed, or a hall's link back: replays owed are
        // asked.
        std::function<void()> subscribed;
        // `retained`: kept at the broker and delivered on subscribing, not just sent.
        std::function<void(const std::string& topic, const std::string& payload, bool retained)>
            heard;
        // The broker refused the ledger's login, which waiting will not mend; without it, waited
        // out.
        std::function<void(const std::string& reason)> login_refused;
        // On the live session, while the database is away.
        std::function<void(const std::string& topic, const std::string& payload, bool retained)>
            heard_live;
    };

    using LogSink = std::function<void(const std::string& line)>;

    // With `halls_clock`, both sessions hear the bridged halls' link states, timed by it; a
    // link back is a session doubted, with a new replay round asked at once.
    BrokerIntake(EventLoop& loop, PublishSettings settings, std::string share, Handlers handlers,
                 LogSink log, HealthBoard* health, Clock* halls_clock);

    // Connects the ledger's session, or resumes it; the live session ends.
    void Start();
    // The database is away: the ledger's session pauses and the live one begins.
    void Pause();
    bool Connected() const { return session_ && session_->Connected(); }
    // Publishes at QoS 1, retained; false when it could not.
    bool PublishRetained(const std::string& topic, const std::string& payload);

private:
    void HandleConnected();
    // Whether a message heard was a hall's link state, and taken.
    bool HallHeard(const std::string& topic, const std::string& payload, bool retained);
    void HandleLost(const std::string& reason);
    bool SubscribeAll();
    void StartLive();
    std::string BrokerName() const;

    EventLoop& loop_;
    PublishSettings settings_;
    std::string share_;
    Handlers handlers_;
    LogSink log_;
    HealthBoard* health_;
    bool paused_ = false;
    bool was_connected_ = false;
    std::string problem_;  // said once per change until the broker is back
    EventLoop::TimePoint away_since_{};
    LogThrottle said_{kLogInterval};
    bool taken_over_ = false;    // another client took the client id, and may still hold it
    bool session_lost_ = false;  // since the last session: its next may lack what came meanwhile
    LogThrottle taken_over_said_{kLogInterval};
    std::unique_ptr<Timer> steady_timer_;  // a session back after a takeover, once it lasts
    std::unique_ptr<Timer> lost_timer_;    // a lost session not yet said: back within kBrokerBlip?
    std::unique_ptr<BrokerSupervisor> session_;
    std::unique_ptr<BrokerSupervisor> live_;  // while paused
    std::unique_ptr<HallLinks> halls_;
};

}  // namespace station::ledger
