#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace station::protocol {

// ISO 8601 local time with the offset from UTC, "2026-12-08T09:15:02+01:00"; empty if the
// system cannot say it.
std::string IsoLocalTime(std::time_t time);

// The date and the clock of an ISO time as written, its zone not applied: the station's clock.
struct IsoFields {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// The fields of a text that begins "yyyy-mm-ddThh:mm:ss" in digits (whatever follows, and whether
// the fields are in range, unjudged); nothing otherwise.
std::optional<IsoFields> ReadIsoFields(std::string_view time);

// "yyyy-mm-ddThh:mm:ss", perhaps with a fraction of a second, then "Z" or an offset "+hh:mm":
// what the messages' times are read as (the page reads the day and the hour from them).
bool IsIsoTime(std::string_view time);

// The seconds since the epoch of a time IsIsoTime takes, its zone applied (its fraction dropped);
// nothing for any other text.
std::optional<std::time_t> IsoSeconds(std::string_view time);

}  // namespace station::protocol
