#pragma once

#include <optional>
#include <string_view>

namespace station {

// Many indicators send status fields before the reading, separated by commas
// ("ST,GS,+001234.5kg"), and the commas spoil the line as one number. Returns the field that
// holds the reading: the last comma-separated field with a digit, provided it is not the first
// field and the field before it has no digit (that would be a number split at its decimal
// comma, and a wrong reading is worse than none). Otherwise nullopt.
std::optional<std::string_view> ReadingField(std::string_view line);

}  // namespace station
