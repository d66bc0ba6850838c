#pragma once

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

class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalTime Now() = 0;
};

// The system's local time. The calendar breakdown is redone only when the second changes,
// so stamping a flood of lines costs one clock read each.
class SystemClock final : public Clock {
public:
    LocalTime Now() override;

private:
    long long cached_second_ = -1;
    LocalTime cached_;
};

}  // namespace station
