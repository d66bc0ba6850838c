#include "ledger/page/live_feed.h"

namespace station::ledger {

void LiveFeed::Publish(std::string event) {
    {
        const std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
        if (events_.size() > kKept) {
            events_.pop_front();
        }
        ++latest_;
    }
    changed_.notify_all();
}

LiveFeed::Read LiveFeed::After(std::uint64_t& seen, std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, wait, [&] { return closed_ || latest_ > seen; });
    Read read;
    read.closed = closed_;
    const std::uint64_t first_kept = latest_ - events_.size() + 1;
    if (seen + 1 < first_kept) {
        read.lost = true;
        seen = latest_;
        return read;
    }
    for (std::uint64_t number = seen + 1; number <= latest_; ++number) {
        read.events.push_back(events_[static_cast<std::size_t>(number - first_kept)]);
    }
    seen = latest_;
    return read;
}

std::uint64_t LiveFeed::Latest() {
    const std::lock_guard lock(mutex_);
    return latest_;
}

void LiveFeed::Close() {
    {
        const std::lock_guard lock(mutex_);
        closed_ = true;
    }
    changed_.notify_all();
}

}  // namespace station::ledger
