#include "common/clock.h"

#include <time.h>

namespace station {

LocalTime SystemClock::Local() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    if (now.tv_sec != cached_second_) {
        tm parts{};
        localtime_r(&now.tv_sec, &parts);
        cached_ = LocalTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
                            parts.tm_hour,        parts.tm_min,     parts.tm_sec};
        cached_second_ = now.tv_sec;
    }
    LocalTime result = cached_;
    result.millisecond = static_cast<int>(now.tv_nsec / 1'000'000);
    return result;
}

std::time_t SystemClock::Seconds() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return now.tv_sec;
}

}  // namespace station
