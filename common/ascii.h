#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace station {

// The ASCII tests and case folding the station's 8-bit text needs: bytes above 127 are never
// digits or letters here, whatever the locale.
constexpr bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

constexpr char ToLowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

inline std::string ToLowerAscii(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return ToLowerAscii(c); });
    return lower;
}

inline bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return ToLowerAscii(x) == ToLowerAscii(y);
           });
}

}  // namespace station
