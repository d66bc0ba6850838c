#include "common/code_page.h"

#include <algorithm>
#include <array>

namespace station {
namespace {

// Unicode of the bytes 0x80 to 0xFF. The five bytes the code page leaves unassigned map to the
// control characters of the same value, so every byte survives a round trip.
constexpr std::array<char16_t, 128> kHighHalf = {
    0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x0088, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,  // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x0098, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,  // 0x98
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,  // 0xA0
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,  // 0xA8
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,  // 0xB0
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,  // 0xB8
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,  // 0xC0
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,  // 0xC8
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,  // 0xD0
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,  // 0xD8
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,  // 0xE0
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,  // 0xE8
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,  // 0xF0
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,  // 0xF8
};

}  // namespace

std::u16string DecodeCp1250(std::string_view bytes) {
    std::u16string text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        text += byte < 0x80 ? char16_t{byte} : kHighHalf[byte - 0x80];
    }
    return text;
}

std::string EncodeCp1250(std::u16string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (const char16_t unit : text) {
        if (unit < 0x80) {
            bytes += static_cast<char>(unit);
            continue;
        }
        const auto found = std::find(kHighHalf.begin(), kHighHalf.end(), unit);
        bytes +=
            found == kHighHalf.end() ? '?' : static_cast<char>(0x80 + (found - kHighHalf.begin()));
    }
    return bytes;
}

std::string Cp1250ToUtf8(std::string_view bytes) {
    std::string text;
    for (const char16_t unit : DecodeCp1250(bytes)) {
        if (unit < 0x80) {
            text += static_cast<char>(unit);
        } else if (unit < 0x800) {
            text += static_cast<char>(0xC0 | (unit >> 6));
            text += static_cast<char>(0x80 | (unit & 0x3F));
        } else {
            text += static_cast<char>(0xE0 | (unit >> 12));
            text += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (unit & 0x3F));
        }
    }
    return text;
}

std::optional<std::string> Utf8ToCp1250(std::string_view text) {
    std::u16string units;
    units.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
        const auto follows = [&](std::size_t at) {
            return at < text.size() && (byte(at) & 0xC0) == 0x80;
        };
        // Every character of the code page is below U+0800 or takes three bytes below U+FFFF.
        if (byte(i) < 0x80) {
            units += char16_t{byte(i)};
            i += 1;
        } else if ((byte(i) & 0xE0) == 0xC0 && follows(i + 1)) {
            units += static_cast<char16_t>(((byte(i) & 0x1F) << 6) | (byte(i + 1) & 0x3F));
            i += 2;
        } else if ((byte(i) & 0xF0) == 0xE0 && follows(i + 1) && follows(i + 2)) {
            units += static_cast<char16_t>(((byte(i) & 0x0F) << 12) | ((byte(i + 1) & 0x3F) << 6) |
                                           (byte(i + 2) & 0x3F));
            i += 3;
        } else {
            return std::nullopt;
        }
    }
    std::string bytes = EncodeCp1250(units);
    // A character the code page lacks (made "?") or an overlong form reads back otherwise.
    if (Cp1250ToUtf8(bytes) != text) {
        return std::nullopt;
    }
    return bytes;
}

}  // namespace station
