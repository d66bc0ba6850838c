// The integer conversion rule against a model written from its wording.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "common/integer_text.h"

namespace {

// Digits in `base`, leading zeros dropped; nullopt when a character is not one.
std::optional<std::string> Significant(const std::string& digits, int base) {
    if (digits.empty()) {
        return std::nullopt;
    }
    for (const char c : digits) {
        const bool decimal = c >= '0' && c <= '9';
        const bool hex = (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!decimal && !(base == 16 && hex)) {
            return std::nullopt;
        }
    }
    const auto first = digits.find_first_not_of('0');
    return first == std::string::npos ? std::string("0") : digits.substr(first);
}

long long ValueOf(const std::string& digits, int base) {
    long long value = 0;
    for (const char c : digits) {
        const int digit = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
        value = value * base + digit;
    }
    return value;
}

std::optional<std::int32_t> Model(const std::string& text) {
    std::size_t at = 0;
    while (at < text.size() && text[at] == ' ') {
        ++at;
    }
    const std::string rest = text.substr(at);
    for (const std::string prefix : {"0x", "0X", "$", "x", "X"}) {
        if (rest.rfind(prefix, 0) == 0) {
            const auto digits = Significant(rest.substr(prefix.size()), 16);
            if (!digits || digits->size() > 8) {
                return std::nullopt;
            }
            return static_cast<std::int32_t>(static_cast<std::uint32_t>(ValueOf(*digits, 16)));
        }
    }
    const bool negative = !rest.empty() && rest[0] == '-';
    const bool sign = !rest.empty() && (rest[0] == '-' || rest[0] == '+');
    const auto digits = Significant(rest.substr(sign ? 1 : 0), 10);
    if (!digits || digits->size() > 10) {
        return std::nullopt;
    }
    const long long value = negative ? -ValueOf(*digits, 10) : ValueOf(*digits, 10);
    if (value < INT32_MIN || value > INT32_MAX) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (station::ParseInteger(text) != Model(text)) {
        std::abort();
    }
    return 0;
}
