#include "core/reading/frame_fields.h"
#include "common/ascii.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace station {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool IsLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// A canonical decimal as whole units of its last place.
struct Exact {
    std::int64_t units = 0;
    int decimals = 0;
};

constexpr int kMaxDigits = 18;  // what fits 63 bits

std::optional<Exact> ExactOf(std::string_view canonical) {
    Exact exact;
    bool negative = false;
    bool after_mark = false;
    int digits = 0;
    for (const char c : canonical) {
        if (c == '-') {
            negative = true;
        } else if (c == '.') {
            after_mark = true;
        } else {
            if (++digits > kMaxDigits) {
                return std::nullopt;
            }
            exact.units = exact.units * 10 + (c - '0');
            exact.decimals += after_mark ? 1 : 0;
        }
    }
    exact.units = negative ? -exact.units : exact.units;
    return exact;
}

}  // namespace

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::optional<std::string> SignedDecimal(std::string_view field) {
    field = TrimBlanks(field);
    bool negative = false;
    if (!field.empty() && (field.front() == '+' || field.front() == '-')) {
        negative = field.front() == '-';
        field = TrimBlanks(field.substr(1));
    } else if (!field.empty() && (field.back() == '+' || field.back() == '-')) {
        negative = field.back() == '-';
        field = TrimBlanks(field.substr(0, field.size() - 1));
    }
    std::string whole;
    std::string fraction;
    bool mark = false;
    bool digit_seen = false;
    for (const char c : field) {
        if (IsDigit(c)) {
            digit_seen = true;
            (mark ? fraction : whole).push_back(c);
        } else if ((c == '.' || c == ',') && !mark) {
            mark = true;
        } else if (!(IsBlank(c) && !digit_seen && !mark)) {
            return std::nullopt;  // blanks only pad in front of the digits
        }
    }
    if (!digit_seen) {
        return std::nullopt;
    }
    const std::size_t first = whole.find_first_not_of('0');
    whole = first == std::string::npos ? "0" : whole.substr(first);
    std::string canonical = whole;
    if (!fraction.empty()) {
        canonical += '.';
        canonical += fraction;
    }
    if (negative) {
        MakeNegative(canonical);
    }
    return canonical;
}

void MakeNegative(std::string& canonical) {
    if (!canonical.starts_with('-') && canonical.find_first_not_of("0.") != std::string::npos) {
        canonical.insert(0, 1, '-');
    }
}

std::optional<std::string> Difference(std::string_view a, std::string_view b) {
    std::optional<Exact> x = ExactOf(a);
    std::optional<Exact> y = ExactOf(b);
    if (!x || !y) {
        return std::nullopt;
    }
    // Aligned on the same last place; a value that would outgrow 63 bits is refused, as is a
    // difference that would.
    constexpr std::int64_t kLimit = std::numeric_limits<std::int64_t>::max() / 20;
    for (Exact* value : {&*x, &*y}) {
        const int decimals = std::max(x->decimals, y->decimals);
        while (value->decimals < decimals) {
            if (value->units > kLimit || value->units < -kLimit) {
                return std::nullopt;
            }
            value->units *= 10;
            ++value->decimals;
        }
        if (value->units > kLimit || value->units < -kLimit) {
            return std::nullopt;
        }
    }
    const std::int64_t units = x->units - y->units;
    std::string digits = std::to_string(units < 0 ? -units : units);
    if (x->decimals > 0) {
        const auto decimals = static_cast<std::size_t>(x->decimals);
        if (digits.size() <= decimals) {
            digits.insert(0, decimals + 1 - digits.size(), '0');
        }
        digits.insert(digits.size() - decimals, 1, '.');
    }
    if (units < 0) {
        MakeNegative(digits);
    }
    return digits;
}

std::optional<std::string> PoundsOfPoundsAndOunces(std::string_view text) {
    text = TrimBlanks(text);
    std::string_view pounds;
    std::string_view ounces;
    if (text.ends_with("lb:oz")) {
        const std::string_view both = text.substr(0, text.size() - 5);
        const std::size_t colon = both.find(':');
        if (colon == std::string_view::npos) {
            return std::nullopt;
        }
        pounds = both.substr(0, colon);
        ounces = both.substr(colon + 1);
    } else if (text.ends_with("oz")) {
        const std::size_t lb = text.find("lb");
        if (lb == std::string_view::npos) {
            return std::nullopt;
        }
        pounds = text.substr(0, lb);
        ounces = text.substr(lb + 2, text.size() - 2 - (lb + 2));
    } else {
        return std::nullopt;
    }
    std::optional<std::string> whole = SignedDecimal(pounds);
    std::optional<std::string> part = SignedDecimal(ounces);
    if (!whole || !part || whole->find('.') != std::string::npos || part->starts_with('-')) {
        return std::nullopt;
    }
    // The sign from the text, since "-0 lb 8 oz" is below zero too.
    const std::string_view signed_pounds = TrimBlanks(pounds);
    const bool negative = signed_pounds.starts_with('-') || signed_pounds.ends_with('-');
    std::optional<Exact> lb =
        ExactOf(std::string_view(*whole).substr(whole->starts_with('-') ? 1 : 0));
    std::optional<Exact> oz = ExactOf(*part);
    // At most nine digits of pounds and three decimals of ounces below 16: what fits 63 bits.
    constexpr int kMostDecimals = 3;
    if (!lb || !oz || oz->decimals > kMostDecimals || lb->units > 999999999) {
        return std::nullopt;
    }
    std::int64_t sixteen = 16;
    for (int i = 0; i < oz->decimals; ++i) {
        sixteen *= 10;
    }
    if (oz->units >= sixteen) {
        return std::nullopt;
    }
    // An ounce is 0.0625 lb: ounces * 625 in units four places further down.
    std::int64_t units = lb->units;
    const int decimals = oz->decimals + 4;
    for (int i = 0; i < decimals; ++i) {
        units *= 10;
    }
    units += oz->units * 625;
    std::string digits = std::to_string(units);
    digits.insert(0,
                  digits.size() <= static_cast<std::size_t>(decimals)
                      ? static_cast<std::size_t>(decimals) + 1 - digits.size()
                      : 0,
                  '0');
    digits.insert(digits.size() - static_cast<std::size_t>(decimals), 1, '.');
    if (negative) {
        MakeNegative(digits);
    }
    return digits;
}

std::optional<unsigned> HexByte(std::string_view two) {
    if (two.size() != 2) {
        return std::nullopt;
    }
    unsigned value = 0;
    for (const char c : two) {
        const char lower = ToLowerAscii(c);
        const int digit = IsDigit(c)                     ? c - '0'
                          : lower >= 'a' && lower <= 'f' ? lower - 'a' + 10
                                                         : -1;
        if (digit < 0) {
            return std::nullopt;
        }
        value = value * 16 + static_cast<unsigned>(digit);
    }
    return value;
}

ValueAndUnit SplitUnit(std::string_view field) {
    std::size_t at = 0;
    while (at < field.size() && !IsLetter(field[at]) && field[at] != '%') {
        ++at;
    }
    return {field.substr(0, at), TrimBlanks(field.substr(at))};
}

bool IsUnitWord(std::string_view text) {
    constexpr std::size_t kLongestUnit = 5;
    return !text.empty() && text.size() <= kLongestUnit &&
           std::all_of(text.begin(), text.end(),
                       [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); });
}

bool IsKnownUnit(std::string_view text) {
    static constexpr std::string_view kUnits[] = {"kg",  "kgs", "g",   "t",  "tn",  "ton", "lb",
                                                  "lbs", "oz",  "ozt", "ct", "dwt", "gn"};
    return std::any_of(std::begin(kUnits), std::end(kUnits),
                       [text](std::string_view unit) { return EqualIgnoringCase(unit, text); });
}

bool IsCountOrPercentage(std::string_view unit) {
    if (unit.find('%') != std::string_view::npos) {
        return true;
    }
    const std::string lower = ToLowerAscii(unit);
    return lower == "pcs" || lower == "pc" || lower == "szt";
}

}  // namespace station
