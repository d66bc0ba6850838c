#pragma once

#include <string>
#include <vector>

#include "core/settings/ini_file.h"

namespace station {

// How the station keeps its scale lines, from the settings file's section "Odczyt". Every
// value is whole seconds; 0 (or no key) keeps the line as the operator left it.
struct ReadingSettings {
    static constexpr int kMaxSeconds = 3600;

    // A connected scale that sends no byte for this long is disconnected.
    int silence_seconds = 0;
    // A scale whose connection ended is connected again at this interval.
    int reconnect_seconds = 0;
};

// The settings and one line for every value that was refused (and so left off).
struct ReadingSettingsResult {
    ReadingSettings settings;
    std::vector<std::string> problems;
};

// Reads the section with the file's rules and the integer rule.
ReadingSettingsResult LoadReadingSettings(const IniFile& file);

}  // namespace station
