#include "core/register/weighing_message.h"

#include <nlohmann/json.hpp>

#include <array>
#include <optional>

#include "core/text/code_page.h"

namespace station {
namespace {

// A register line's three fields: "stamp" TAB "tag" TAB "reading".
struct LineFields {
    std::string_view stamp;
    std::string_view tag;
    std::string_view reading;
};

std::optional<LineFields> SplitLine(std::string_view line) {
    const std::size_t first_tab = line.find('\t');
    const std::size_t second_tab =
        first_tab == std::string_view::npos ? first_tab : line.find('\t', first_tab + 1);
    if (second_tab == std::string_view::npos) {
        return std::nullopt;
    }
    return LineFields{line.substr(0, first_tab),
                      line.substr(first_tab + 1, second_tab - first_tab - 1),
                      line.substr(second_tab + 1)};
}

std::optional<int> TwoDigits(std::string_view text, std::size_t at) {
    if (at + 2 > text.size() || text[at] < '0' || text[at] > '9' || text[at + 1] < '0' ||
        text[at + 1] > '9') {
        return std::nullopt;
    }
    return (text[at] - '0') * 10 + (text[at + 1] - '0');
}

// The time of a stamp "yyyy-mm-dd, hh:nn:ss" (any time separator) in local time.
std::optional<std::time_t> StampTime(std::string_view stamp) {
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

int ScaleOfLine(std::string_view line) {
    const std::optional<LineFields> fields = SplitLine(line);
    if (!fields) {
        return 0;
    }
    const std::string_view tag = fields->tag;
    return tag.size() == 5 && tag.starts_with("waga") && tag[4] >= '1' && tag[4] <= '9'
               ? tag[4] - '0'
               : 0;
}

std::string WeighingMessage(const RegisterEntry& entry, const std::string& station) {
    nlohmann::ordered_json message;
    message["id"] = station + "/" + entry.start.file_name.substr(0, 6) + "/" +
                    std::to_string(entry.start.offset);
    message["scale"] = nullptr;
    message["reading"] = nullptr;
    message["time"] = nullptr;
    if (const std::optional<LineFields> fields = SplitLine(entry.line)) {
        if (const int scale = ScaleOfLine(entry.line)) {
            message["scale"] = scale;
        }
        message["reading"] = Cp1250ToUtf8(fields->reading);
        if (const auto time = StampTime(fields->stamp)) {
            message["time"] = IsoLocalTime(*time);
        }
    }
    message["line"] = Cp1250ToUtf8(entry.line);
    return message.dump();
}

std::string ScaleStateMessage(bool connected, const std::string& reading, std::time_t time) {
    nlohmann::ordered_json message;
    message["connected"] = connected;
    message["reading"] = Cp1250ToUtf8(reading);
    message["time"] = IsoLocalTime(time);
    return message.dump();
}

}  // namespace station
