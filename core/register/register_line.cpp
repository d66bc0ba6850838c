#include "core/register/register_line.h"

#include <array>
#include <cstdio>

namespace station {
namespace {

std::optional<int> TwoDigits(std::string_view text, std::size_t at) {
    if (at + 2 > text.size() || text[at] < '0' || text[at] > '9' || text[at + 1] < '0' ||
        text[at + 1] > '9') {
        return std::nullopt;
    }
    return (text[at] - '0') * 10 + (text[at + 1] - '0');
}

std::string MonthFileNameOf(int year, int month) {
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%04d%02d.txt", year, month);
    return text.data();
}

}  // namespace

std::string RegisterTimeStamp(const LocalTime& time, char time_separator) {
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%04d-%02d-%02d, %02d%c%02d%c%02d", time.year,
                  time.month, time.day, time.hour, time_separator, time.minute, time_separator,
                  time.second);
    return text.data();
}

std::string ComposeRegisterLine(const LocalTime& time, char time_separator, int scale,
                                const std::string& reading) {
    return RegisterTimeStamp(time, time_separator) + "\twaga" + std::to_string(scale) + "\t" +
           reading;
}

std::optional<RegisterLineFields> SplitRegisterLine(std::string_view line) {
    const std::size_t first_tab = line.find('\t');
    if (first_tab == std::string_view::npos) {
        return std::nullopt;
    }
    const std::size_t second_tab = line.find('\t', first_tab + 1);
    if (second_tab == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view tag = line.substr(first_tab + 1, second_tab - first_tab - 1);
    if (tag.size() != 5 || !tag.starts_with("waga") || tag[4] < '1' || tag[4] > '9') {
        return std::nullopt;
    }
    return RegisterLineFields{line.substr(0, first_tab), tag[4] - '0', line.substr(second_tab + 1)};
}

std::optional<std::time_t> StampTime(std::string_view stamp) {
    // "yyyy-mm-dd, hh:nn:ss": where each two-digit field starts.
    constexpr std::array<std::size_t, 7> kFields{0, 2, 5, 8, 12, 15, 18};
    std::array<int, 7> values{};
    for (std::size_t i = 0; i < kFields.size(); ++i) {
        const auto value = TwoDigits(stamp, kFields[i]);
        if (!value) {
            return std::nullopt;
        }
        values[i] = *value;
    }
    std::tm fields{};
    fields.tm_year = values[0] * 100 + values[1] - 1900;
    fields.tm_mon = values[2] - 1;
    fields.tm_mday = values[3];
    fields.tm_hour = values[4];
    fields.tm_min = values[5];
    fields.tm_sec = values[6];
    fields.tm_isdst = -1;
    const std::time_t time = std::mktime(&fields);
    return time == -1 ? std::nullopt : std::optional(time);
}

std::string MonthFileName(const LocalTime& time) {
    return MonthFileNameOf(time.year, time.month);
}

std::string PreviousMonthFileName(const LocalTime& time) {
    return time.month > 1 ? MonthFileNameOf(time.year, time.month - 1)
                          : MonthFileNameOf(time.year - 1, 12);
}

}  // namespace station
