#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "base/time_source.h"
#include "ledger/page/http_server.h"
#include "ledger/page/live_feed.h"
#include "ledger/store/ledger_health.h"

namespace station::ledger {

// What an open live page is sent: whether the ledger has its database and broker (at once, and
// again on every change it sees when asked), what the ledger wrote since it last looked, or now
// and then a comment so that it notices a lost connection; between them it waits, holding no
// thread. It counts itself in `open` while it lives.
class LiveStream final : public BodySource {
public:
    // A closed page is noticed at the second write after it closed (the first meets the reset): a
    // comment each second counts it gone within a few.
    static constexpr std::chrono::seconds kKeepAlive{1};

    LiveStream(LiveFeed& feed, std::atomic<std::size_t>& open, const HealthBoard* health,
               const TimeSource& time);
    ~LiveStream() override { --open_; }
    LiveStream(const LiveStream&) = delete;
    LiveStream& operator=(const LiveStream&) = delete;

    Piece Next() override;

private:
    LiveFeed& feed_;
    std::atomic<std::size_t>& open_;
    const HealthBoard* health_;  // none: nothing to tell
    const TimeSource& time_;
    std::optional<HealthBoard::Reach> told_;
    std::uint64_t seen_;
    // The first look sends a comment at once: the page learns that its view is open.
    TimeSource::TimePoint last_sent_{};
};

}  // namespace station::ledger
