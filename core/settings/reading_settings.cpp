#include "core/settings/reading_settings.h"

#include "core/text/integer_text.h"

namespace station {
namespace {

constexpr const char* kSection = "Odczyt";

// A whole number of seconds from 0 to kMaxSeconds; anything else is off, and said.
int Seconds(const IniFile& file, const char* key, std::vector<std::string>& problems) {
    const std::string text = file.ReadString(kSection, key, "");
    if (text.empty()) {
        return 0;
    }
    const std::optional<std::int32_t> value = ParseInteger(text);
    if (!value || *value < 0 || *value > ReadingSettings::kMaxSeconds) {
        problems.push_back(std::string(kSection) + ": " + key + ": not a whole number from 0 to " +
                           std::to_string(ReadingSettings::kMaxSeconds) + ": " + text + "; off");
        return 0;
    }
    return *value;
}

}  // namespace

ReadingSettingsResult LoadReadingSettings(const IniFile& file) {
    ReadingSettingsResult result;
    result.settings.silence_seconds = Seconds(file, "silence", result.problems);
    result.settings.reconnect_seconds = Seconds(file, "reconnect", result.problems);
    return result;
}

}  // namespace station
