#pragma once

#include <optional>
#include <string>

namespace station {

// The four reading displays beside "kg", as the window shows them.
class ReadingDisplays {
public:
    virtual ~ReadingDisplays() = default;
    // `scale` is 1 to 4; the text is 8-bit, as decoded.
    virtual void SetReadingText(int scale, const std::string& text) = 0;
    // The same from a format that says whether the load moves (nullopt where it does not).
    virtual void ShowReading(int scale, const std::string& text, std::optional<bool> motion) {
        (void)motion;
        SetReadingText(scale, text);
    }
};

}  // namespace station
