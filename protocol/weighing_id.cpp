#include "protocol/weighing_id.h"

#include <algorithm>
#include <charconv>

namespace station::protocol {

std::string LinePlace::Text() const {
    return month.Text() + "/" + std::to_string(offset);
}

std::optional<LinePlace> LinePlace::Read(std::string_view text) {
    constexpr std::size_t kLongestOffset = 19;
    if (text.size() < 8 || text[6] != '/') {
        return std::nullopt;
    }
    const std::optional<Month> month = Month::Read(text.substr(0, 6));
    const std::string_view offset = text.substr(7);
    std::uint64_t value = 0;
    if (!month || offset.empty() || offset.size() > kLongestOffset ||
        (offset.size() > 1 && offset.front() == '0') ||
        !std::all_of(offset.begin(), offset.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
        std::from_chars(offset.data(), offset.data() + offset.size(), value).ec != std::errc{}) {
        return std::nullopt;
    }
    return LinePlace{*month, value};
}

std::string WeighingId::Text() const {
    return client_id + "/" + Place().Text();
}

std::optional<WeighingId> WeighingId::Read(std::string_view text) {
    const std::size_t offset_at = text.rfind('/');
    if (offset_at == std::string_view::npos || offset_at < 8 || text[offset_at - 7] != '/') {
        return std::nullopt;
    }
    const std::optional<LinePlace> place = LinePlace::Read(text.substr(offset_at - 6));
    if (!place) {
        return std::nullopt;
    }
    return WeighingId{std::string(text.substr(0, offset_at - 7)), place->month, place->offset};
}

}  // namespace station::protocol
