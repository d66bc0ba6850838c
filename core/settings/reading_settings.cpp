#include "core/settings/reading_settings.h"

#include <algorithm>

#include "common/ascii.h"
#include "common/integer_text.h"
#include "core/reading/pattern_format.h"

namespace station {
namespace {

constexpr const char* kReadingSection = "Odczyt";

// A whole number of seconds from 0 to kMaxSeconds; anything else is `fallback`, and said.
int Seconds(const IniFile& file, const std::string& key, int fallback,
            std::vector<std::string>& problems) {
    const std::string text = file.ReadString(kReadingSection, key, "");
    if (text.empty()) {
        return fallback;
    }
    const std::optional<std::int32_t> value = ParseInteger(text);
    if (!value || *value < 0 || *value > ReadingSettings::kMaxSeconds) {
        problems.push_back(std::string(kReadingSection) + ": " + key +
                           ": not a whole number from 0 to " +
                           std::to_string(ReadingSettings::kMaxSeconds) + ": " + text + "; " +
                           (fallback == 0 ? "off" : std::to_string(fallback)));
        return fallback;
    }
    return *value;
}

std::string SaveKey(std::size_t index) {
    return "save" + std::to_string(index + 1);
}

// "any" (or no key) and "stable", in any case; anything else is "any", and said.
SaveMode Mode(const IniFile& file, const std::string& key, std::vector<std::string>& problems) {
    const std::string text = file.ReadString(kReadingSection, key, "");
    if (EqualIgnoringCase(text, "stable")) {
        return SaveMode::kStable;
    }
    if (!text.empty() && !EqualIgnoringCase(text, "any")) {
        problems.push_back(std::string(kReadingSection) + ": " + key +
                           ": neither any nor stable: " + text + "; any");
    }
    return SaveMode::kAny;
}

// "formatN" and "patternN" of one scale, kept as the file has them so that the settings dialog
// never rewrites what it was not asked to; a name that is no format is the standard rule, and a
// pattern that cannot be used reads as the standard rule; both are said.
void ReadFormat(const IniFile& file, std::size_t index, ReadingSettings& settings,
                std::vector<std::string>& problems) {
    const std::string number = std::to_string(index + 1);
    std::string name = ToLowerAscii(file.ReadString(kReadingSection, "format" + number, ""));
    settings.patterns[index] = file.ReadString(kReadingSection, "pattern" + number, "");
    if (name.empty() || name == kStandardFormat) {
        return;
    }
    if (name == kPatternFormat) {
        PatternProblem problem;
        if (!PatternFormat::Make(settings.patterns[index], problem)) {
            problems.push_back(std::string(kReadingSection) + ": pattern" + number + ": " +
                               problem.Text() + "; standard");
        }
        settings.formats[index] = std::move(name);
        return;
    }
    if (MakePreset(name)) {
        settings.formats[index] = std::move(name);
    } else {
        problems.push_back(std::string(kReadingSection) + ": format" + number +
                           ": no such format: " + name + "; standard");
    }
}

}  // namespace

std::unique_ptr<IndicatorFormat> MakeFormat(const ReadingSettings& settings, int scale) {
    const auto index = static_cast<std::size_t>(scale - 1);
    const std::string& name = settings.formats.at(index);
    if (name == kPatternFormat) {
        PatternProblem ignored;  // said when the settings were read
        return PatternFormat::Make(settings.patterns.at(index), ignored);
    }
    return name.empty() ? nullptr : MakePreset(name);
}

ReadingSettingsResult LoadReadingSettings(const IniFile& file) {
    ReadingSettingsResult result;
    result.settings.silence_seconds = Seconds(file, "silence", 0, result.problems);
    result.settings.reconnect_seconds = Seconds(file, "reconnect", 0, result.problems);
    for (std::size_t i = 0; i < kScaleCount; ++i) {
        result.settings.save_modes[i] = Mode(file, SaveKey(i), result.problems);
    }
    result.settings.stable_wait_seconds =
        Seconds(file, "stable_wait", ReadingSettings::kDefaultStableWait, result.problems);
    for (std::size_t i = 0; i < kScaleCount; ++i) {
        ReadFormat(file, i, result.settings, result.problems);
    }
    return result;
}

void StoreSaveSettings(IniFile& file, const ReadingSettings& settings) {
    for (std::size_t i = 0; i < kScaleCount; ++i) {
        file.WriteString(kReadingSection, SaveKey(i), SaveModeName(settings.save_modes[i]));
    }
    file.WriteString(kReadingSection, "stable_wait", std::to_string(settings.stable_wait_seconds));
}

void StoreFormatSettings(IniFile& file, const ReadingSettings& settings) {
    for (std::size_t i = 0; i < kScaleCount; ++i) {
        const std::string number = std::to_string(i + 1);
        const std::string& format = settings.formats[i];
        file.WriteString(kReadingSection, "format" + number,
                         format.empty() ? std::string(kStandardFormat) : format);
        std::string quoted(1, '"');  // appended: GCC 12 at -O3 warns of a char + string
        quoted.append(settings.patterns[i]).append(1, '"');
        file.WriteString(kReadingSection, "pattern" + number, quoted);
    }
}

const char* SaveModeName(SaveMode mode) {
    return mode == SaveMode::kStable ? "stable" : "any";
}

}  // namespace station
