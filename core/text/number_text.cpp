#include "core/text/number_text.h"

#include <locale.h>
#include <clocale>
#include <cstdio>

#include <algorithm>
#include <array>

#include "core/text/decimal_number.h"

namespace station {
namespace {

// 1 for the characters a reading is made of: digits, comma, point and hyphen-minus.
constexpr auto kKeptInNumber = [] {
    std::array<unsigned char, 256> kept{};
    for (const char c : std::string_view("0123456789,.-")) {
        kept[static_cast<unsigned char>(c)] = 1;
    }
    return kept;
}();

}  // namespace

void RemoveSpacesInPlace(std::string& text) {
    std::erase(text, ' ');
}

std::string RemoveSpaces(std::string_view text) {
    std::string out(text);
    RemoveSpacesInPlace(out);
    return out;
}

void CommasToDotsInPlace(std::string& text) {
    std::replace(text.begin(), text.end(), ',', '.');
}

std::string CommasToDots(std::string_view text) {
    std::string out(text);
    CommasToDotsInPlace(out);
    return out;
}

void ToLocalDecimalInPlace(std::string& text, char separator) {
    if (separator == '.') {
        CommasToDotsInPlace(text);
    } else {
        std::replace(text.begin(), text.end(), '.', ',');
    }
}

std::string ToLocalDecimal(std::string_view text, char separator) {
    std::string out(text);
    ToLocalDecimalInPlace(out, separator);
    return out;
}

std::string ExtractNumber(std::string_view line, int decimals, char separator) {
    // Branch-free: every byte is written, only kept ones advance the end. A scale's line is
    // compacted on the stack, and what it keeps then fits a string's own storage: no allocation.
    constexpr std::size_t kShortLine = 64;
    std::array<char, kShortLine> short_line{};
    std::string long_line;
    char* compacted = short_line.data();
    if (line.size() > short_line.size()) {
        long_line.resize(line.size());
        compacted = long_line.data();
    }
    std::size_t size = 0;
    for (const char c : line) {
        compacted[size] = c;
        size += kKeptInNumber[static_cast<unsigned char>(c)];
    }
    if (size == 0) {
        return {};
    }
    std::string kept(compacted, size);
    ToLocalDecimalInPlace(kept, separator);
    const auto value = ParseNumber(kept, separator);
    if (!value) {
        return "err";
    }
    std::string fixed = FormatFixed(*value, kFixedPrecision, decimals, separator);
    CommasToDotsInPlace(fixed);
    return fixed;
}

char DetectDecimalSeparator() {
    // A locale of our own from the environment, used on this thread only for one formatting.
    locale_t user = newlocale(LC_NUMERIC_MASK, "", locale_t{});
    if (user == locale_t{}) {
        return '.';
    }
    const locale_t previous = uselocale(user);
    char written[16] = {};
    std::snprintf(written, sizeof written, "%.2f", 1.23);
    uselocale(previous);
    freelocale(user);
    return written[1];
}

}  // namespace station
