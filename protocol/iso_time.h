#pragma once

#include <ctime>
#include <string>
#include <string_view>

namespace station::protocol {

// ISO 8601 local time with the offset from UTC, "2026-12-08T09:15:02+01:00"; empty if the
// system cannot say it.
std::string IsoLocalTime(std::time_t time);

// "yyyy-mm-ddThh:mm:ss", perhaps with a fraction of a second, then "Z" or an offset "+hh:mm":
// what the messages' times are read as (the page reads the day and the hour from them).
bool IsIsoTime(std::string_view time);

}  // namespace station::protocol
