#pragma once

#include <array>
#include <string>
#include <vector>

#include "core/scales.h"
#include "core/settings/ini_file.h"

namespace station {

// What "Zapisz ważenie" of a scale takes: whatever the display shows, or only a stable,
// valid, fresh weight.
enum class SaveMode { kAny, kStable };

// How the station keeps its scale lines and what its saves take, from the settings file's
// section "Odczyt". Without keys, everything is as the operator has always had it.
struct ReadingSettings {
    static constexpr int kMaxSeconds = 3600;
    static constexpr int kDefaultStableWait = 3;

    // Whole seconds; 0 keeps the line as the operator left it.
    // A connected scale that sends no byte for this long is disconnected.
    int silence_seconds = 0;
    // A scale whose connection ended is connected again at this interval.
    int reconnect_seconds = 0;

    // Per scale, "saveN": "any" or "stable".
    std::array<SaveMode, kScaleCount> save_modes{};
    // How long a stable save may wait for the reading to settle; 0 refuses at once.
    int stable_wait_seconds = kDefaultStableWait;
};

// The settings and one line for every value that was refused (and so left off).
struct ReadingSettingsResult {
    ReadingSettings settings;
    std::vector<std::string> problems;
};

// Reads the section with the file's rules and the integer rule.
ReadingSettingsResult LoadReadingSettings(const IniFile& file);

// Writes the save keys ("save1" to "save4", "stable_wait") and nothing else. Throws
// IniWriteError.
void StoreSaveSettings(IniFile& file, const ReadingSettings& settings);

// "any" or "stable".
const char* SaveModeName(SaveMode mode);

}  // namespace station
