#pragma once

#include <array>

#include "core/scales.h"

namespace station {

// What "Zapisz ważenie" of a scale takes: whatever the display shows, or only a stable,
// valid, fresh weight.
enum class SaveMode { kAny, kStable };

// What the saves are told: per scale, "saveN", and how long a stable save may wait.
struct SaveSettings {
    static constexpr int kDefaultStableWait = 3;

    std::array<SaveMode, kScaleCount> save_modes{};
    // How long a stable save may wait for the reading to settle, in seconds; 0 refuses at once.
    int stable_wait_seconds = kDefaultStableWait;
};

}  // namespace station
