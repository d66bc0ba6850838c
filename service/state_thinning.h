#pragma once

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/event_loop.h"
#include "core/reading/reading.h"
#include "core/scales.h"

namespace station {

// Each scale's live state (connected, what it shows), handed on at most once per kInterval per
// scale with the latest state winning: a scale that changes its reading a hundred times a second
// costs five messages a second, and the last change always goes out.
class StateThinning {
public:
    struct ScaleState {
        bool connected = false;
        Reading reading;
    };
    // Hands a state on; false when it could not go out now (no session), which Resend makes good.
    using Send = std::function<bool(int scale, const ScaleState& state)>;

    static constexpr auto kInterval = std::chrono::milliseconds(200);

    StateThinning(EventLoop& loop, Send send) : loop_(loop), send_(std::move(send)) {}

    void ReadingShown(int scale, const Reading& reading);
    void ConnectionShown(int scale, bool connected);
    // Every scale's state once more, as soon as its interval allows: a new session starts empty.
    void Resend();
    // Every scale's state at once, as not connected, whatever the interval: the station ends, and
    // a retained state must not go on saying that its scale is connected.
    void SendEnded();

private:
    struct Scale {
        ScaleState state;
        EventLoop::TimePoint last_sent{};
        std::unique_ptr<Timer> timer;  // set while a change waits for its interval
    };

    void Changed(int scale);
    void SendNow(int scale);
    Scale& Of(int scale) { return scales_.at(static_cast<std::size_t>(scale - 1)); }

    EventLoop& loop_;
    Send send_;
    std::array<Scale, kScaleCount> scales_;
};

}  // namespace station
