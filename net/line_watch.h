#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "base/event_loop.h"

namespace station::net {

// Keeps one scale's line for its owner, on the loop's thread: a connection that carries no byte
// for `silence` is reported silent (the owner ends it), and a line whose connection ended is
// handed back for a new attempt every `reconnect` until one is under way. Zero turns either off.
//
// A read costs one read of the loop's time and no timer work: one timer checks the time of the
// last byte when it expires and is armed again for what is left, and a read re-arms it only
// when less than half the silence is left, so a line that keeps talking costs no wake-up of its
// own.
class LineWatch {
public:
    struct Settings {
        std::chrono::milliseconds silence{0};
        std::chrono::milliseconds reconnect{0};
    };
    struct Handlers {
        // The connection carried nothing for `silent`; the watch has stopped counting.
        std::function<void(std::chrono::milliseconds silent)> on_silent;
        // Time for a new attempt; `first` for the first one since the line was last up.
        std::function<void(bool first)> on_reconnect;
    };

    LineWatch(EventLoop& loop, Handlers handlers) : loop_(loop), handlers_(std::move(handlers)) {}
    LineWatch(const LineWatch&) = delete;
    LineWatch& operator=(const LineWatch&) = delete;

    void Configure(Settings settings) { settings_ = settings; }

    // The connection is up: silence counts from now, and the line's outage is over.
    void Connected();
    // Bytes arrived.
    void DataArrived() {
        if (watching_) {
            last_byte_ = loop_.Now();
            if (deadline_ - last_byte_ < settings_.silence / 2) {
                ArmSilence();
            }
        }
    }
    // The connection ended or an attempt failed: no more counting, a new attempt later.
    void Ended();
    // An attempt is under way, whoever started it: none is due from the watch.
    void Attempting() { retry_timer_.reset(); }

private:
    void ArmSilence();
    void CheckSilence();
    void Retry();

    EventLoop& loop_;
    Handlers handlers_;
    Settings settings_;
    bool watching_ = false;
    bool outage_reported_ = false;
    EventLoop::TimePoint last_byte_{};
    EventLoop::TimePoint deadline_{};
    std::unique_ptr<Timer> silence_timer_;
    std::unique_ptr<Timer> retry_timer_;
};

}  // namespace station::net
