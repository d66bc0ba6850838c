#pragma once

#include <string>

namespace station {

// The four reading displays beside "kg", as the window shows them.
class ReadingDisplays {
public:
    virtual ~ReadingDisplays() = default;
    // `scale` is 1 to 4; the text is 8-bit, as decoded.
    virtual void SetReadingText(int scale, const std::string& text) = 0;
};

}  // namespace station
