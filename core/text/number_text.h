#pragma once

#include <string>
#include <string_view>

namespace station {

// Text helpers of the reading path. Every function returns a new text; `separator` is the
// locale's decimal separator found once at start-up by DetectDecimalSeparator.

// The text without any blank (character 32); tabs and everything else stay.
std::string RemoveSpaces(std::string_view text);
void RemoveSpacesInPlace(std::string& text);

// The text with every comma replaced by a point.
std::string CommasToDots(std::string_view text);
void CommasToDotsInPlace(std::string& text);

// Under a point separator every comma becomes a point; under any other separator every point
// becomes a comma.
std::string ToLocalDecimal(std::string_view text, char separator);
void ToLocalDecimalInPlace(std::string& text, char separator);

// Keeps the digits, commas, points and hyphens of a scale line and reads them as one number,
// written in fixed notation with `decimals` places and a point. Returns an empty text when the
// line keeps nothing and "err" when what it keeps is not one number.
std::string ExtractNumber(std::string_view line, int decimals, char separator);

// The user's locale decimal separator: the character between 1 and 23 when the locale writes
// 1.23. Reads the environment's locale, never the process-wide one that toolkits change.
char DetectDecimalSeparator();

}  // namespace station
