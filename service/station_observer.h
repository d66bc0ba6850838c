#pragma once

#include <string>

#include "core/reading/reading.h"
#include "core/reading/stable_saves.h"

namespace station {

// A scale's status lamp: yellow while connecting, green when connected, red otherwise.
enum class Lamp { kRed, kYellow, kGreen };

// What the station model tells whoever follows it: the window, which draws it, and publishing.
// Called on the loop's thread once the model's own state has changed; each has a default that
// ignores it, so a follower takes only what it needs.
class StationObserver {
public:
    virtual ~StationObserver() = default;

    // Scale `scale` (1 to 4) shows `reading`. Told once a read is decoded, with the last reading
    // it brought: a flood brings many lines a read, and no frame is drawn between them.
    virtual void ReadingShown(int /*scale*/, const Reading& /*reading*/) {}
    virtual void LampShown(int /*scale*/, Lamp /*lamp*/) {}
    // Data came: the lamp's outline turns white, or back to green, on every read.
    virtual void OutlineShown(int /*scale*/, bool /*white*/) {}
    // "połącz" is offered while the scale is not connected.
    virtual void ConnectOffered(int /*scale*/, bool /*offered*/) {}
    // A stable save waits for the reading to settle, and then no longer.
    virtual void SaveWaiting(int /*scale*/, bool /*waiting*/) {}
    virtual void SaveRefused(int /*scale*/, StableSaves::Refusal /*why*/) {}
    // A register line was written.
    virtual void WeighingSaved() {}
};

}  // namespace station
