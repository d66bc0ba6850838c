#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "common/ini_file.h"
#include "core/reading/indicator_format.h"
#include "core/reading/save_settings.h"
#include "core/scales.h"

namespace station {

// The names of "formatN" besides the presets': the standard rule, and the scale's pattern.
inline constexpr const char* kStandardFormat = "standard";
inline constexpr const char* kPatternFormat = "pattern";

// How the station keeps its scale lines and what its saves take, from the settings file's
// section "Odczyt". Without keys, everything is as the operator has always had it.
// The saves' keys, "saveN" ("any" or "stable") and "stable_wait", are SaveSettings'.
struct ReadingSettings : SaveSettings {
    static constexpr int kMaxSeconds = 3600;

    // Whole seconds; 0 keeps the line as the operator left it.
    // A connected scale that sends no byte for this long is disconnected.
    int silence_seconds = 0;
    // A scale whose connection ended is connected again at this interval.
    int reconnect_seconds = 0;

    // Per scale, "formatN": a preset's name, "pattern" for "patternN", or empty for the standard
    // rule; an unknown name is already empty here. "patternN" is as the file has it, whatever
    // the format, and a pattern that cannot be used reads as the standard rule (MakeFormat).
    std::array<std::string, kScaleCount> formats{};
    std::array<std::string, kScaleCount> patterns{};
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
// Writes "format1" to "format4" and "pattern1" to "pattern4", each pattern in quotes so that it
// reads back byte for byte, and nothing else. Throws IniWriteError.
void StoreFormatSettings(IniFile& file, const ReadingSettings& settings);

// The format of scale `scale` (1 to 4) as the settings name it; nullptr for the standard rule,
// also where the pattern cannot be used.
std::unique_ptr<IndicatorFormat> MakeFormat(const ReadingSettings& settings, int scale);

// "any" or "stable".
const char* SaveModeName(SaveMode mode);

}  // namespace station
