#include "ui/screen_text.h"

#include <array>

#include "common/code_page.h"

namespace station::ui {

QString ToScreenText(std::string_view bytes) {
    return QString::fromStdU16String(DecodeCp1250(bytes));
}

std::string FromScreenText(const QString& text) {
    return EncodeCp1250(text.toStdU16String());
}

QString VisibleText(std::string_view bytes) {
    static const std::array<const char*, 32> kNames{
        "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT",  "LF",
        "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4", "NAK",
        "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};
    std::string visible;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < kNames.size()) {
            visible += std::string("<") + kNames[byte] + ">";
        } else {
            visible += c;
        }
    }
    return ToScreenText(visible);
}

}  // namespace station::ui
