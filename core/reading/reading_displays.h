#pragma once

#include <string_view>

#include "core/reading/reading.h"

namespace station {

// The four reading displays beside "kg", as the window shows them.
class ReadingDisplays {
public:
    virtual ~ReadingDisplays() = default;
    // `scale` is 1 to 4; decoders also show to others, which change no display.
    virtual void ShowReading(int scale, const Reading& reading) = 0;
    // A whole line of `scale` came, as received, before what it shows.
    virtual void LineDecoded(int /*scale*/, std::string_view /*line*/) {}
};

}  // namespace station
