#pragma once

#include <ctime>

namespace station {

// Local wall-clock time, as the log and the register stamp it.
struct LocalTime {
    int year = 0;
    int month = 0;  // 1 to 12
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

// The wall clock, the one the station's and the ledger's stamps are read from.
class Clock {
public:
    virtual ~Clock() = default;
    // The local date and time of day, as the log and the register stamp them.
    virtual LocalTime Local() = 0;
    // Seconds since the epoch, of which a message's or a row's ISO time is made.
    virtual std::time_t Seconds() = 0;
};

// The system's local time. The calendar breakdown is redone only when the second changes,
// so stamping a flood of lines costs one clock read each.
class SystemClock final : public Clock {
public:
    LocalTime Local() override;
    std::time_t Seconds() override;

private:
    long long cached_second_ = -1;
    LocalTime cached_;
};

}  // namespace station
