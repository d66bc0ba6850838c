// Every key the settings readers ask for is in the README's settings tables and in the manual
// page's settings, which are made from them.
#include <gtest/gtest.h>

#include <set>

#include "broker/publish_settings.h"
#include "core/settings/connection_settings.h"
#include "core/settings/reading_settings.h"
#include "tests/support/temp_dir.h"

namespace station::test {
namespace {

// Answers every key with its default, but names a broker so that publishing asks for the rest.
class AskedKeys final : public IniFile {
public:
    AskedKeys() : IniFile("konfig.ini") {}

    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view fallback) const override {
        asked.emplace(section, key);
        return key == "broker" ? "broker.plant" : std::string(fallback);
    }

    mutable std::set<std::pair<std::string, std::string>> asked;
};

// The manual page's text from `heading` up to its next subsection.
std::string SubsectionOf(const std::string& page, const std::string& heading) {
    const std::size_t from = page.find(heading);
    return from == std::string::npos ? "" : page.substr(from, page.find(".SS", from + 1) - from);
}

TEST(SettingsKeys, EveryKeyReadIsInTheReadmeAndTheManualPage) {
    AskedKeys file;
    ConnectionSettings connection;
    LoadConnectionSettings(connection, file);
    LoadReadingSettings(file);
    LoadPublishSettings(file, "host");
    ASSERT_GE(file.asked.size(), 30u);

    const std::string readme = ReadFile(STATION_README);
    const std::string manual = ReadFile(STATION_SETTINGS_PAGE);
    for (const auto& [section, key] : file.asked) {
        SCOPED_TRACE(::testing::Message() << section << " " << key);
        // "format1 … format4" names the four scales' keys at once.
        const bool numbered = key.back() >= '1' && key.back() <= '4';
        const std::string first = numbered ? key.substr(0, key.size() - 1) + "1" : key;
        std::string in_readme;  // the section's tables, each up to its blank line
        const std::string marker = "<!-- settings: " + section + " -->";
        for (std::size_t at = 0; (at = readme.find(marker, at)) != std::string::npos; ++at) {
            in_readme += readme.substr(at, readme.find("\n\n", at) - at);
        }
        EXPECT_NE(in_readme.find("| `" + first + "`"), std::string::npos) << "README";
        EXPECT_NE(SubsectionOf(manual, ".SS Section " + section).find(".B " + first),
                  std::string::npos)
            << "manual page";
    }
}

}  // namespace
}  // namespace station::test
