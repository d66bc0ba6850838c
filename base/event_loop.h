#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "base/time_source.h"

namespace station {

// Interest in one descriptor. Destroying it stops every notification at once, also from inside
// its own callback, so an endpoint can be closed from any handler.
class FdWatch {
public:
    virtual ~FdWatch() = default;
    // Level-triggered: while a wanted condition holds, the callback keeps coming.
    virtual void SetInterest(bool read, bool write) = 0;
};

// A single-shot timer. Destroying it cancels it, also from inside its own callback.
class Timer {
public:
    virtual ~Timer() = default;
};

// What the network components and the station's services need from the thread's event loop. The
// program implements it over Qt; tests drive it with a poll loop whose time they can advance. An
// exception that escapes a callback is the loop's to report (the application's handler for
// unhandled exceptions); the loop then goes on. Its Now() is the loop's time, which its timers
// follow: every timing rule on the loop reads it and no other clock, so a test that advances the
// loop's time drives them all without waiting.
class EventLoop : public TimeSource {
public:
    // `readable` also covers hang-up and error conditions, as poll(2) reports them.
    using ReadyCallback = std::function<void(bool readable, bool writable)>;

    // Starts with no interest.
    virtual std::unique_ptr<FdWatch> Watch(int fd, ReadyCallback on_ready) = 0;
    // Runs `call` on the loop's thread after the current callback has returned.
    virtual void Post(std::function<void()> call) = 0;
    // Runs `on_timeout` on the loop's thread once `delay` has passed, unless cancelled first.
    virtual std::unique_ptr<Timer> StartTimer(std::chrono::milliseconds delay,
                                              std::function<void()> on_timeout) = 0;
};

}  // namespace station
