#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace station {

// The pieces indicator frames are made of, read the same way by every format.

// `text` without blanks (spaces and tabs) at either end.
std::string_view TrimBlanks(std::string_view text);

// A signed decimal as indicators write it: blanks around and between the sign and the digits,
// leading zeros or blanks in place of them, at most one decimal mark ('.' or ','), optionally a
// trailing sign. The canonical "[-]digits[.digits]", or nullopt when the field holds no digit
// or anything else.
std::optional<std::string> SignedDecimal(std::string_view field);

// A canonical weight made negative, unless it is zero or negative already.
void MakeNegative(std::string& canonical);

// `a - b`, both canonical, computed exactly; nullopt when a value has too many digits.
std::optional<std::string> Difference(std::string_view a, std::string_view b);

// A pounds-and-ounces reading ("12 lb 8.5 oz", "-12 lb  8.5 oz" or "12:08.5 lb:oz") in pounds,
// exactly: the canonical decimal of pounds + ounces / 16, or nullopt when the text is not one.
std::optional<std::string> PoundsOfPoundsAndOunces(std::string_view text);

// The number of two hexadecimal digits, or nullopt.
std::optional<unsigned> HexByte(std::string_view two);

// The field up to its first letter or '%' (the weight), and the rest (the unit).
struct ValueAndUnit {
    std::string_view value;
    std::string_view unit;
};
ValueAndUnit SplitUnit(std::string_view field);

// Whether `text` can be a unit as frames write one: one to five ASCII letters ("g", "lb", "ozt").
// The installer's pattern names its unit group itself, so any such word is taken there.
bool IsUnitWord(std::string_view text);

// Whether `text` is a unit of weight as indicators print one, in any case: kg, g, t, lb, oz,
// ct and their spellings (kgs, lbs, ozt, dwt, gn, tn, ton). Letters glued from another frame
// ("kgST") or a status word ("ST") are none, so such a frame is no weight.
bool IsKnownUnit(std::string_view text);

// Whether a unit names a count or a percentage, which are not weights.
bool IsCountOrPercentage(std::string_view unit);

}  // namespace station
