#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace station::ledger {

// What the plant page pushes to its open pages: events made on the ledger's loop, read by the
// page's threads, each from where it stands. Only the latest kKept events are kept: a reader
// further behind is told so and starts afresh.
class LiveFeed {
public:
    static constexpr std::size_t kKept = 4096;

    struct Read {
        std::vector<std::string> events;
        bool lost = false;    // events after `seen` were dropped: read everything again
        bool closed = false;  // the feed ended
    };

    void Publish(std::string event);
    // Events after `seen` (moved on to the last one returned); waits up to `wait` for one.
    Read After(std::uint64_t& seen, std::chrono::milliseconds wait);
    // The number of the newest event, where a new reader starts.
    std::uint64_t Latest();
    // Wakes every reader for good.
    void Close();

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::string> events_;
    std::uint64_t latest_ = 0;  // the number of events_.back()
    bool closed_ = false;
};

}  // namespace station::ledger
