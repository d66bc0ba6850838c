#include "protocol/utf8_text.h"

namespace station::protocol {

std::size_t Utf8Length(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned lowest = 0;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        lowest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        lowest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        lowest = 0x10000;
    } else {
        return 0;
    }
    if (text.size() < length) {
        return 0;
    }
    unsigned code = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (byte(i) & 0x3F);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code >= lowest && code <= 0x10FFFF && !surrogate ? length : 0;
}

std::string ShownBytes(std::string_view bytes, std::size_t limit) {
    std::string shown;
    const std::string_view part = bytes.substr(0, limit);
    for (std::size_t at = 0; at < part.size();) {
        const std::size_t length = Utf8Length(part.substr(at));
        const auto byte = static_cast<unsigned char>(part[at]);
        if (length == 0 || (length == 1 && (byte < 0x20 || byte == 0x7F) && byte != '\t')) {
            constexpr std::string_view kHex = "0123456789abcdef";
            shown.append("\\x").append(1, kHex[byte >> 4]).append(1, kHex[byte & 0xF]);
            ++at;
        } else {
            shown.append(part.substr(at, length));
            at += length;
        }
    }
    if (bytes.size() > limit) {
        shown.append("...");
    }
    return shown;
}

}  // namespace station::protocol
