#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace station {

// The one rule by which the station turns a text into an integer (settings file, settings
// dialog): leading blanks, then an optional sign and decimal digits, or one of the prefixes
// "$", "x", "X", "0x", "0X" and hexadecimal digits; nothing after the digits. Decimal values
// must fit 32 signed bits, hexadecimal ones 32 bits, read as signed.
std::optional<std::int32_t> ParseInteger(std::string_view text);

}  // namespace station
