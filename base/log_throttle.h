#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace station {

// The rule for a line that would be said again and again: said the first time, when what it
// says changes, and otherwise once per `every`, on the loop's time.
class LogThrottle {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    // Once a minute, as every repeated line is said unless told otherwise.
    LogThrottle() : LogThrottle(std::chrono::minutes(1)) {}
    explicit LogThrottle(std::chrono::steady_clock::duration every) : every_(every) {}

    // Whether to say `what` now; if so, it counts as said.
    bool Due(TimePoint now, const std::string& what = {}) {
        if (said_at_ && what == said_ && now - *said_at_ < every_) {
            return false;
        }
        said_at_ = now;
        said_ = what;
        return true;
    }
    // The next line is said whatever it says: a new episode begins.
    void Reset() { said_at_.reset(); }

private:
    std::chrono::steady_clock::duration every_;
    std::optional<TimePoint> said_at_;
    std::string said_;
};

// How long something said lasted, in whole seconds: "12 s".
inline std::string SecondsSaid(std::chrono::steady_clock::duration lasted) {
    return std::to_string(std::chrono::duration_cast<std::chrono::seconds>(lasted).count()) + " s";
}

}  // namespace station
