#include "protocol/iso_time.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace station::protocol {
namespace {

bool InRange(std::string_view text, std::size_t at, std::size_t length, int lowest, int highest) {
    int value = 0;
    const char* first = text.data() + at;
    const auto [end, error] = std::from_chars(first, first + length, value);
    return error == std::errc{} && end == first + length && value >= lowest && value <= highest;
}

bool InRange(int value, int lowest, int highest) {
    return value >= lowest && value <= highest;
}

}  // namespace

std::optional<IsoFields> ReadIsoFields(std::string_view time) {
    constexpr std::string_view kShape = "0000-00-00T00:00:00";
    if (time.size() < kShape.size()) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < kShape.size(); ++i) {
        if (kShape[i] == '0' ? time[i] < '0' || time[i] > '9' : time[i] != kShape[i]) {
            return std::nullopt;
        }
    }
    const auto number = [&](std::size_t at, std::size_t length) {
        int value = 0;
        for (std::size_t i = at; i < at + length; ++i) {
            value = value * 10 + (time[i] - '0');
        }
        return value;
    };
    return IsoFields{number(0, 4),  number(5, 2),  number(8, 2),
                     number(11, 2), number(14, 2), number(17, 2)};
}

std::string IsoLocalTime(std::time_t time) {
    std::tm local{};
    localtime_r(&time, &local);
    std::array<char, 32> text{};
    const std::size_t length = std::strftime(text.data(), text.size(), "%FT%T%z", &local);
    if (length < 2) {
        return {};  // strftime failed: no time rather than a wrong one
    }
    // strftime gives "+0100"; ISO 8601's extended form wants "+01:00".
    return std::string(text.data(), length - 2) + ':' + std::string(text.data() + length - 2, 2);
}

bool IsIsoTime(std::string_view time) {
    const std::optional<IsoFields> fields = ReadIsoFields(time);
    if (!fields || time.size() < 20 || !InRange(fields->year, 1, 9999) ||
        !InRange(fields->month, 1, 12) || !InRange(fields->day, 1, 31) ||
        !InRange(fields->hour, 0, 23) || !InRange(fields->minute, 0, 59) ||
        !InRange(fields->second, 0, 60)) {
        return false;
    }
    std::size_t at = 19;
    if (time[at] == '.') {
        const std::size_t digits_end = time.find_first_not_of("0123456789", at + 1);
        const std::size_t end = digits_end == std::string_view::npos ? time.size() : digits_end;
        if (end == at + 1) {
            return false;
        }
        at = end;
    }
    const std::string_view zone = time.substr(std::min(at, time.size()));
    return zone == "Z" ||
           (zone.size() == 6 && (zone[0] == '+' || zone[0] == '-') && zone[3] == ':' &&
            InRange(zone, 1, 2, 0, 23) && InRange(zone, 4, 2, 0, 59));
}

std::optional<std::time_t> IsoSeconds(std::string_view time) {
    if (!IsIsoTime(time)) {
        return std::nullopt;
    }
    const IsoFields fields = *ReadIsoFields(time);
    std::tm utc{};
    utc.tm_year = fields.year - 1900;
    utc.tm_mon = fields.month - 1;
    utc.tm_mday = fields.day;
    utc.tm_hour = fields.hour;
    utc.tm_min = fields.minute;
    utc.tm_sec = fields.second;
    std::time_t seconds = timegm(&utc);
    if (const std::string_view zone = time.substr(time.size() - 6);
        zone[0] == '+' || zone[0] == '-') {
        const int offset = ((zone[1] - '0') * 10 + (zone[2] - '0')) * 3600 +
                           ((zone[4] - '0') * 10 + (zone[5] - '0')) * 60;
        seconds += zone[0] == '+' ? -offset : offset;
    }
    return seconds;
}

}  // namespace station::protocol
