#include "base/poll_loop.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace station {

class PollLoop::Watcher final : public FdWatch {
public:
    Watcher(PollLoop& loop, std::uint64_t id) : loop_(loop), id_(id) {}
    ~Watcher() override { loop_.entries_.erase(id_); }
    Watcher(const Watcher&) = delete;
    Watcher& operator=(const Watcher&) = delete;

    void SetInterest(bool read, bool write) override {
        Entry& entry = loop_.entries_.at(id_);
        entry.read = read;
        entry.write = write;
    }

private:
    PollLoop& loop_;
    const std::uint64_t id_;
};

class PollLoop::PendingTimer final : public Timer {
public:
    PendingTimer(PollLoop& loop, std::uint64_t id) : loop_(loop), id_(id) {}
    ~PendingTimer() override {
        std::erase_if(loop_.timers_,
                      [this](const auto& timer) { return timer.second.first == id_; });
    }
    PendingTimer(const PendingTimer&) = delete;
    PendingTimer& operator=(const PendingTimer&) = delete;

private:
    PollLoop& loop_;
    const std::uint64_t id_;
};

PollLoop::~PollLoop() = default;

std::unique_ptr<FdWatch> PollLoop::Watch(int fd, ReadyCallback on_ready) {
    const std::uint64_t id = next_id_++;
    entries_.emplace(id,
                     Entry{fd, false, false, std::make_shared<ReadyCallback>(std::move(on_ready))});
    return std::make_unique<Watcher>(*this, id);
}

void PollLoop::Post(std::function<void()> call) {
    posted_.push_back(std::move(call));
}

std::unique_ptr<Timer> PollLoop::StartTimer(std::chrono::milliseconds delay,
                                            std::function<void()> on_timeout) {
    const std::uint64_t id = next_id_++;
    timers_.emplace(Now() + delay, std::pair(id, std::move(on_timeout)));
    return std::make_unique<PendingTimer>(*this, id);
}

int PollLoop::PollTimeout(std::chrono::milliseconds limit) const {
    if (!posted_.empty()) {
        return 0;
    }
    if (!timers_.empty()) {
        const auto until_due =
            std::chrono::ceil<std::chrono::milliseconds>(timers_.begin()->first - Now());
        limit = std::clamp(until_due, std::chrono::milliseconds(0), limit);
    }
    return static_cast<int>(limit.count());
}

void PollLoop::RunDueTimers() {
    // Taken out before it runs: its handle may be destroyed by the callback or later. A timer
    // that a callback starts runs in this turn too when it is already due.
    while (!timers_.empty() && timers_.begin()->first <= Now()) {
        const std::function<void()> on_timeout = std::move(timers_.begin()->second.second);
        timers_.erase(timers_.begin());
        Invoke(on_timeout);
    }
}

void PollLoop::Invoke(const std::function<void()>& call) {
    ++dispatch_count_;
    try {
        call();
    } catch (...) {
        if (!exception_handler_) {
            throw;
        }
        exception_handler_(std::current_exception());
    }
}

void PollLoop::RunOnce(std::chrono::milliseconds timeout) {
    std::vector<std::function<void()>> posted;
    posted.swap(posted_);
    for (const auto& call : posted) {
        Invoke(call);
    }

    std::vector<pollfd> fds;
    std::vector<std::uint64_t> ids;
    for (const auto& [id, entry] : entries_) {
        // An endpoint nobody listens to stays out entirely: poll would still report its
        // hang-up and the loop would spin.
        if (entry.read || entry.write) {
            const short events =
                static_cast<short>((entry.read ? POLLIN : 0) | (entry.write ? POLLOUT : 0));
            fds.push_back(pollfd{entry.fd, events, 0});
            ids.push_back(id);
        }
    }
    const int ready = poll(fds.data(), fds.size(), PollTimeout(timeout));
    if (ready < 0) {
        if (errno == EINTR) {
            return;
        }
        throw std::system_error(errno, std::generic_category(), "poll");
    }
    for (std::size_t i = 0; i < fds.size(); ++i) {
        const auto found = entries_.find(ids[i]);
        if (fds[i].revents == 0 || found == entries_.end()) {
            continue;  // not ready, or its watch went away in an earlier callback of this turn
        }
        const Entry& entry = found->second;
        const bool readable = entry.read && (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
        const bool writable = entry.write && (fds[i].revents & POLLOUT) != 0;
        if (readable || writable) {
            // Held here so the callback may destroy its own watch.
            const std::shared_ptr<ReadyCallback> on_ready = entry.on_ready;
            Invoke([&] { (*on_ready)(readable, writable); });
        }
    }
    RunDueTimers();
}

void PollLoop::Advance(std::chrono::milliseconds by) {
    const TimePoint until = Now() + by;
    // Timer by timer, so that each runs at its own time and sees the time it was due.
    while (!timers_.empty() && timers_.begin()->first <= until) {
        advanced_ += std::chrono::ceil<std::chrono::milliseconds>(
            std::max(timers_.begin()->first - Now(), std::chrono::steady_clock::duration::zero()));
        RunOnce(std::chrono::milliseconds(0));
    }
    advanced_ += std::chrono::ceil<std::chrono::milliseconds>(
        std::max(until - Now(), std::chrono::steady_clock::duration::zero()));
    RunOnce(std::chrono::milliseconds(0));
}

bool PollLoop::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = SteadyTime::Instance().Now() + limit;
    while (!done()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - SteadyTime::Instance().Now());
        if (left.count() <= 0) {
            return done();
        }
        RunOnce(std::min(left, std::chrono::milliseconds(50)));
    }
    return true;
}

std::size_t PollLoop::ActiveWatchCount() const {
    std::size_t count = 0;
    for (const auto& [id, entry] : entries_) {
        count += (entry.read || entry.write) ? 1 : 0;
    }
    return count;
}

}  // namespace station
