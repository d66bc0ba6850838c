#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "common/clock.h"

namespace station {

// A register line, without its CR LF: "yyyy-mm-dd, hh:nn:ss" TAB "wagaN" TAB the reading as
// shown, 8-bit. The writer composes lines here and every reader splits them here.
struct RegisterLineFields {
    std::string_view stamp;
    int scale = 0;  // 1 to 9
    std::string_view reading;
};

std::string ComposeRegisterLine(const LocalTime& time, char time_separator, int scale,
                                const std::string& reading);

// The fields of a weighing's line; nullopt when the line is not one: fewer than two tabs, or a
// second field other than "waga" and a digit 1 to 9. The stamp is not checked here: a weighing
// whose stamp cannot be read is still a weighing.
std::optional<RegisterLineFields> SplitRegisterLine(std::string_view line);

// "yyyy-mm-dd, hh:nn:ss" with `time_separator` between the time fields.
std::string RegisterTimeStamp(const LocalTime& time, char time_separator);

// The time of a stamp (any time separator) in local time; nullopt when it is no stamp.
std::optional<std::time_t> StampTime(std::string_view stamp);

// "yyyymm.txt", the month file of `time`.
std::string MonthFileName(const LocalTime& time);

// The month file of the month before `time`.
std::string PreviousMonthFileName(const LocalTime& time);

}  // namespace station
