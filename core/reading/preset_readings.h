#pragma once

// The pieces the presets read their frames with: readings marked, weights from fields, checks.

#include <cstddef>
#include <optional>
#include <string_view>

#include "core/reading/indicator_format.h"

namespace station::preset {

inline constexpr char kStx = 2;
inline constexpr char kEtx = 3;

// A reading of `kind` and nothing more.
IndicatorReading Marked(IndicatorReading::Kind kind, std::optional<bool> motion = std::nullopt);

// A frame whose checksum does not match: no weight, and said (at most once a minute).
IndicatorReading ChecksumFailed();

// The XOR of every byte, as the layouts with a two-hex-digit checksum count it.
unsigned XorOf(std::string_view bytes);

// Writes `digits` to `out` with a point before the last `decimals` of them; returns the length.
std::size_t WithPoint(std::string_view digits, std::size_t decimals, char* out);

// A weight when `value` reads as one, otherwise not a weight.
IndicatorReading WeightOf(std::string_view value, std::optional<bool> motion);

// The weight of a field that ends in its unit, unless the unit counts pieces or percent or is
// no known unit (frame_fields.h): a frame of another layout, its status letters or control
// bytes after the number, or a half frame glued to the next, is no weight.
IndicatorReading WeightWithUnit(std::string_view field, std::optional<bool> motion);

// A weight read with the unit its frame writes apart from it.
IndicatorReading InUnit(IndicatorReading reading, std::string_view unit);

// `frame` without the `c` and line feeds it begins with.
std::string_view WithoutLeading(std::string_view frame, char c);

// A weight field after its own polarity character (' ' or '+' positive, '-' negative).
IndicatorReading Signed(char polarity, std::string_view weight, std::optional<bool> motion);

}  // namespace station::preset
