#pragma once

#include <chrono>

namespace station {

// A monotonic time, for intervals: the loop's on the loop (EventLoop, whose time tests advance),
// the system's off it (SteadyTime, for threads of their own).
class TimeSource {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~TimeSource() = default;
    virtual TimePoint Now() const = 0;
};

// The system's monotonic clock, and the one place it is read; safe on any thread.
class SteadyTime final : public TimeSource {
public:
    TimePoint Now() const override { return std::chrono::steady_clock::now(); }

    // For whoever is given no other.
    static const SteadyTime& Instance() {
        static const SteadyTime kTime;
        return kTime;
    }
};

}  // namespace station
