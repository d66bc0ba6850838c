#pragma once

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "base/event_loop.h"

namespace station {

// An event loop over poll(2), without a toolkit: the ledger's, and the tests'. One thread; it
// runs only while RunOnce, RunUntil or Advance is called. Its time is the steady clock's plus
// whatever Advance added, so timing rules can be tested without waiting.
class PollLoop final : public EventLoop {
public:
    using ExceptionHandler = std::function<void(std::exception_ptr)>;

    PollLoop() = default;
    ~PollLoop() override;
    PollLoop(const PollLoop&) = delete;
    PollLoop& operator=(const PollLoop&) = delete;

    TimePoint Now() const override { return SteadyTime::Instance().Now() + advanced_; }
    std::unique_ptr<FdWatch> Watch(int fd, ReadyCallback on_ready) override;
    void Post(std::function<void()> call) override;
    std::unique_ptr<Timer> StartTimer(std::chrono::milliseconds delay,
                                      std::function<void()> on_timeout) override;

    // Where exceptions escaping a callback go; without a handler they leave RunOnce.
    void SetExceptionHandler(ExceptionHandler handler) { exception_handler_ = std::move(handler); }

    // One turn: runs posted calls, then waits up to `timeout` (less when a timer falls due
    // sooner) for watched descriptors, runs the callbacks of those that are ready, then those
    // of the timers that are due.
    void RunOnce(std::chrono::milliseconds timeout);
    // Turns until `done` holds or `limit` has passed; returns `done()`.
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);
    // Moves the loop's time on by `by` and runs the posted calls and the timers now due, in
    // the order they fall due, as if that much time had passed without a descriptor event.
    void Advance(std::chrono::milliseconds by);

    // How many descriptors are watched with some interest now.
    std::size_t ActiveWatchCount() const;
    // Callbacks run so far, posted calls included: a loop with nothing to do adds none.
    std::uint64_t DispatchCount() const { return dispatch_count_; }

private:
    class Watcher;
    class PendingTimer;
    struct Entry {
        int fd;
        bool read = false;
        bool write = false;
        std::shared_ptr<ReadyCallback> on_ready;
    };

    void Invoke(const std::function<void()>& call);
    int PollTimeout(std::chrono::milliseconds limit) const;
    void RunDueTimers();

    std::map<std::uint64_t, Entry> entries_;
    std::uint64_t next_id_ = 1;
    std::vector<std::function<void()>> posted_;
    std::multimap<TimePoint, std::pair<std::uint64_t, std::function<void()>>> timers_;
    ExceptionHandler exception_handler_;
    std::uint64_t dispatch_count_ = 0;
    std::chrono::milliseconds advanced_{0};
};

}  // namespace station
