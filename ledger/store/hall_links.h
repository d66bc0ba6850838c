#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>

#include "base/event_loop.h"
#include "common/clock.h"
#include "ledger/store/ledger_health.h"

namespace station::ledger {

// The links of hall brokers bridged to the ledger's: each bridge says "1" on its state topic at
// the ledger's broker once it is up, and the broker says "0" for it (the bridge's will) when the
// link drops. A hall cut off is no room gone: its stations go on saving, their weighings wait
// at the hall's broker. Said in the log when a link changes, with how long it was down, and
// shown on the health board. A link back is a session doubted: the hall's broker may have been
// restarted without what it held, so the stations are asked again for what may be missing.
class HallLinks {
public:
    // Where a bridge of a hall says its state (its remote client id names the hall).
    static constexpr const char* kTopic = "$SYS/broker/connection/+/state";
    // Halls kept; a topic anyone may publish to on an open broker must not grow the board.
    static constexpr std::size_t kMostHalls = 100;

    using LogSink = std::function<void(const std::string& line)>;

    HallLinks(EventLoop& loop, Clock& wall_clock, LogSink log, HealthBoard* health,
              std::function<void()> relinked);

    // Takes a message heard at the ledger's broker: false when it is no hall's link state.
    // `retained`: kept from before, so not the moment the link changed.
    bool Heard(const std::string& topic, const std::string& payload, bool retained);

private:
    EventLoop& loop_;
    Clock& wall_clock_;
    LogSink log_;
    HealthBoard* health_;
    std::function<void()> relinked_;
    std::map<std::string, EventLoop::TimePoint> cut_since_;  // halls cut while the ledger heard
};

}  // namespace station::ledger
