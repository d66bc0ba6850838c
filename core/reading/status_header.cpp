#include "core/reading/status_header.h"
#include "common/ascii.h"

#include <algorithm>

namespace station {
namespace {

constexpr std::size_t kNone = std::string_view::npos;

bool HasDigit(std::string_view field) {
    return std::any_of(field.begin(), field.end(), [](char c) { return IsDigit(c); });
}

// The position of the last comma before `end`, or kNone.
std::size_t CommaBefore(std::string_view line, std::size_t end) {
    return end == 0 ? kNone : line.rfind(',', end - 1);
}

// The field that ends at `end` and starts after `comma` (or at the line's start).
std::string_view FieldBetween(std::string_view line, std::size_t comma, std::size_t end) {
    const std::size_t begin = comma == kNone ? 0 : comma + 1;
    return line.substr(begin, end - begin);
}

}  // namespace

std::optional<std::string_view> ReadingField(std::string_view line) {
    // Fields from the last one back, without splitting the line: this runs on every line a
    // flooding scale sends in such a format.
    for (std::size_t end = line.size();;) {
        const std::size_t comma = CommaBefore(line, end);
        const std::string_view field = FieldBetween(line, comma, end);
        if (HasDigit(field)) {
            if (comma == kNone || HasDigit(FieldBetween(line, CommaBefore(line, comma), comma))) {
                return std::nullopt;
            }
            return field;
        }
        if (comma == kNone) {
            return std::nullopt;
        }
        end = comma;
    }
}

}  // namespace station
