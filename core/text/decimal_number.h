#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace station {

// A number kept as the decimal digits it was written with, so that reading and rounding
// never pass through binary floating point: value = 0.digits x 10^exponent.
struct DecimalNumber {
    bool negative = false;
    std::string digits;  // significant digits, no leading or trailing zeros; empty for zero
    int exponent = 0;    // digits before the decimal point (negative for leading zeros after it)

    bool IsZero() const { return digits.empty(); }
};

// Reads blanks, an optional sign, digits with at most one `separator` among them, an optional
// exponent ("E" or "e", optional sign, digits) and trailing blanks. A lone separator reads as 0.
// Fails (nullopt) on anything else and on values beyond the extended-precision range.
std::optional<DecimalNumber> ParseNumber(std::string_view text, char separator);

// The precision of the fixed notation that the station writes numbers in.
inline constexpr int kFixedPrecision = 8;

// Fixed notation: rounded to `decimals` places but to at most `precision` significant digits;
// falls back to general notation when more than `precision` digits stand before the point.
std::string FormatFixed(const DecimalNumber& value, int precision, int decimals, char separator);

// General notation: rounded to `precision` significant digits, written positionally, or as
// "d<sep>dddE<power>" when more than `precision` digits would stand before the point.
std::string FormatGeneral(const DecimalNumber& value, int precision, char separator);

}  // namespace station
