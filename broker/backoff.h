#pragma once

#include <algorithm>
#include <chrono>

namespace station {

// The wait before the next try: one second, doubled after every failure up to a minute, and one
// second again after a success.
class Backoff {
public:
    static constexpr std::chrono::seconds kFirst{1};
    static constexpr std::chrono::seconds kLongest{60};

    std::chrono::seconds Next() {
        const std::chrono::seconds wait = next_;
        next_ = std::min(next_ * 2, kLongest);
        return wait;
    }
    void Reset() { next_ = kFirst; }

private:
    std::chrono::seconds next_ = kFirst;
};

}  // namespace station
