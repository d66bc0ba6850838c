#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <optional>

#include "base/event_loop.h"

namespace station {

// Whether a scale whose bytes keep coming still sends frames its format reads. A line that
// brings bytes and no frame for the time of three of its frames (a second before its first)
// is not shown as its last reading, which is stale by then: an ending the format does not
// expect, or noise, would otherwise freeze the display on a weight that is gone. A frame's
// time is the longest gap between the scale's recent frames, since a read may bring several.
class FrameCadence {
public:
    using TimePoint = EventLoop::TimePoint;
    using Duration = EventLoop::TimePoint::duration;

    // Before a scale's first frame (and its frame's time until a second one), and at least
    // once it has some: a read's bytes may end inside a frame.
    static constexpr std::chrono::milliseconds kBeforeFirstFrame{1000};
    static constexpr std::chrono::milliseconds kShortest{250};

    // A new connection or a new format: what came before says nothing.
    void Reset();
    void FrameRead(TimePoint now);
    // Bytes came at `now` with no frame among them: whether the last reading is stale now.
    bool Stale(TimePoint now);

private:
    std::optional<TimePoint> last_frame_;
    std::optional<TimePoint> unframed_since_;  // bytes without a frame since, before the first
    std::array<Duration, 16> gaps_{};
    std::size_t next_gap_ = 0;
    bool gap_seen_ = false;
};

}  // namespace station
