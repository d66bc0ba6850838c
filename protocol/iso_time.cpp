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

}  // namespace

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
    if (time.size() < 20 || time[4] != '-' || time[7] != '-' || time[10] != 'T' ||
        time[13] != ':' || time[16] != ':' || !InRange(time, 0, 4, 1, 9999) ||
        !InRange(time, 5, 2, 1, 12) || !InRange(time, 8, 2, 1, 31) ||
        !InRange(time, 11, 2, 0, 23) || !InRange(time, 14, 2, 0, 59) ||
        !InRange(time, 17, 2, 0, 60)) {
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

}  // namespace station::protocol
