#pragma once

#include <optional>
#include <string>

namespace station {

// What the station tells a service that follows it: the one route from the main window to
// publishing. Called on the loop's thread, after the window has shown the change.
class StationObserver {
public:
    virtual ~StationObserver() = default;

    // Scale `scale` (1 to 4) shows `text`, 8-bit, as on the screen; `motion` where its format
    // says whether the load moves.
    virtual void ReadingShown(int scale, const std::string& text, std::optional<bool> motion) = 0;
    // Scale `scale`'s lamp turned green (connected) or away from green.
    virtual void ConnectionShown(int scale, bool connected) = 0;
    // A register line was written.
    virtual void WeighingSaved() = 0;
};

}  // namespace station
