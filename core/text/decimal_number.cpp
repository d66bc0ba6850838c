#include "core/text/decimal_number.h"
#include "common/ascii.h"

#include <algorithm>
#include <cstdint>

namespace station {
namespace {

// Readings are first brought to this many significant digits, as extended precision holds them.
constexpr std::int64_t kSignificantDigits = 18;

// The largest extended-precision value, 1.18973149535723176502e4932, as 0.digits x 10^exponent.
constexpr std::int64_t kMaxExponent = 4933;
constexpr std::string_view kMaxDigits = "118973149535723176502";
// Values this small are zero in extended precision.
constexpr std::int64_t kMinExponent = -4950;
// Saturates an absurd exponent without overflowing, far beyond both limits above.
constexpr std::int64_t kPowerCap = 1'000'000'000;

std::size_t SkipBlanks(std::string_view text, std::size_t i) {
    while (i < text.size() && text[i] == ' ') {
        ++i;
    }
    return i;
}

std::size_t SkipDigits(std::string_view text, std::size_t i) {
    while (i < text.size() && IsDigit(text[i])) {
        ++i;
    }
    return i;
}

void DropTrailingZeros(std::string& digits) {
    const auto last = digits.find_last_not_of('0');
    digits.resize(last == std::string::npos ? 0 : last + 1);
}

// Keeps `count` significant digits, rounding half away from zero on the first digit dropped.
void Round(DecimalNumber& value, std::int64_t count) {
    if (value.IsZero() || count >= static_cast<std::int64_t>(value.digits.size())) {
        return;
    }
    if (count < 0) {
        value = {};
        return;
    }
    const auto kept = static_cast<std::size_t>(count);
    const bool up = value.digits[kept] >= '5';
    value.digits.resize(kept);
    if (up) {
        std::size_t carry = kept;
        while (carry > 0 && value.digits[carry - 1] == '9') {
            --carry;
        }
        if (carry == 0) {
            value.digits.assign(1, '1');
            ++value.exponent;
        } else {
            value.digits.resize(carry);
            ++value.digits[carry - 1];
        }
    }
    DropTrailingZeros(value.digits);
    if (value.IsZero()) {
        value = {};
    }
}

char DigitAt(const DecimalNumber& value, std::int64_t index) {
    if (index < 0 || index >= static_cast<std::int64_t>(value.digits.size())) {
        return '0';
    }
    return value.digits[static_cast<std::size_t>(index)];
}

void AppendIntegerPart(std::string& out, const DecimalNumber& value) {
    if (value.exponent <= 0) {
        out += '0';
        return;
    }
    for (int i = 0; i < value.exponent; ++i) {
        out += DigitAt(value, i);
    }
}

}  // namespace

std::optional<DecimalNumber> ParseNumber(std::string_view text, char separator) {
    std::size_t i = SkipBlanks(text, 0);
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::size_t integer_begin = i;
    i = SkipDigits(text, i);
    const std::string_view integer_part = text.substr(integer_begin, i - integer_begin);
    std::string_view fraction_part;
    bool saw_separator = false;
    if (i < text.size() && text[i] == separator) {
        saw_separator = true;
        const std::size_t fraction_begin = ++i;
        i = SkipDigits(text, i);
        fraction_part = text.substr(fraction_begin, i - fraction_begin);
    }
    if (integer_part.empty() && !saw_separator) {
        return std::nullopt;
    }
    std::int64_t power = 0;
    if (i < text.size() && (text[i] == 'E' || text[i] == 'e')) {
        ++i;
        bool negative_power = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
            negative_power = text[i] == '-';
            ++i;
        }
        for (; i < text.size() && IsDigit(text[i]); ++i) {
            power = std::min(power * 10 + (text[i] - '0'), kPowerCap);
        }
        if (negative_power) {
            power = -power;
        }
    }
    if (SkipBlanks(text, i) != text.size()) {
        return std::nullopt;
    }

    // Leading zeros may run on from the integer part into the fraction.
    const std::size_t integer_zeros =
        std::min(integer_part.find_first_not_of('0'), integer_part.size());
    const std::size_t fraction_zeros =
        integer_zeros < integer_part.size()
            ? 0
            : std::min(fraction_part.find_first_not_of('0'), fraction_part.size());
    std::string digits;
    digits.reserve(integer_part.size() - integer_zeros + fraction_part.size() - fraction_zeros);
    digits.append(integer_part.substr(integer_zeros)).append(fraction_part.substr(fraction_zeros));
    DropTrailingZeros(digits);
    if (digits.empty()) {
        return DecimalNumber{};
    }
    const std::int64_t exponent = static_cast<std::int64_t>(integer_part.size() - integer_zeros) -
                                  static_cast<std::int64_t>(fraction_zeros) + power;
    if (exponent > kMaxExponent || (exponent == kMaxExponent && digits > kMaxDigits)) {
        return std::nullopt;
    }
    if (exponent < kMinExponent) {
        return DecimalNumber{};
    }
    return DecimalNumber{negative, std::move(digits), static_cast<int>(exponent)};
}

std::string FormatFixed(const DecimalNumber& value, int precision, int decimals, char separator) {
    DecimalNumber rounded = value;
    Round(rounded, kSignificantDigits);
    Round(rounded, std::min<std::int64_t>(precision, std::int64_t{rounded.exponent} + decimals));
    if (!rounded.IsZero() && rounded.exponent > precision) {
        return FormatGeneral(value, precision, separator);
    }
    std::string out;
    out.reserve(static_cast<std::size_t>(std::max(rounded.exponent, 0) + decimals) + 2);
    if (rounded.negative) {
        out += '-';
    }
    AppendIntegerPart(out, rounded);
    if (decimals > 0) {
        out += separator;
        for (int i = 0; i < decimals; ++i) {
            out += DigitAt(rounded, std::int64_t{rounded.exponent} + i);
        }
    }
    return out;
}

std::string FormatGeneral(const DecimalNumber& value, int precision, char separator) {
    DecimalNumber rounded = value;
    Round(rounded, kSignificantDigits);
    Round(rounded, precision);
    if (rounded.IsZero()) {
        return "0";
    }
    std::string out;
    if (rounded.negative) {
        out += '-';
    }
    if (rounded.exponent > precision) {
        out += rounded.digits[0];
        if (rounded.digits.size() > 1) {
            out += separator;
            out.append(rounded.digits, 1);
        }
        out += 'E';
        out += std::to_string(rounded.exponent - 1);
        return out;
    }
    AppendIntegerPart(out, rounded);
    const auto size = static_cast<std::int64_t>(rounded.digits.size());
    if (size > rounded.exponent) {
        out += separator;
        for (std::int64_t i = rounded.exponent; i < size; ++i) {
            out += DigitAt(rounded, i);
        }
    }
    return out;
}

}  // namespace station
