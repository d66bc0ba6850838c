// Publishing's settings: on only with good values.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "broker/publish_settings.h"
#include "tests/support/temp_dir.h"

namespace station {
namespace {

using test::TempDir;
using test::WriteFile;

struct SettingsCase {
    const char* section;  // "$D" stands for a folder holding the files below
    bool on;
    int port;
    const char* problem;  // part of the log line; empty when there is none
};

TEST(PublishSettings, TurnPublishingOnOnlyWithGoodValues) {
    const TempDir dir;
    WriteFile(dir / "ca.crt", "");
    WriteFile(dir / "secret", "s3cret\r\nsecond line\n");
    chmod((dir / "secret").c_str(), 0600);
    WriteFile(dir / "shared", "s3cret\n");
    chmod((dir / "shared").c_str(), 0640);
    const SettingsCase cases[] = {
        {"", false, 0, ""},
        {"broker=\r\nport=1884\r\n", false, 0, "broker: not set"},
        {"; broker=hub\r\n", false, 0, ""},
        {"broker=hub\r\n", true, 1883, ""},
        {"BROKER = 'hub' \r\nport= 0x75B\r\n", true, 1883, ""},
        {"broker=hub\r\ncafile=$D/ca.crt\r\n", true, 8883, ""},
        {"broker=hub\r\nport=0\r\n", false, 0, "port"},
        {"broker=hub\r\nport=65536\r\n", false, 0, "port"},
        {"broker=hub\r\nport=18 83\r\n", false, 0, "port"},
        {"broker=hub\r\ncafile=$D/missing.crt\r\n", false, 0, "cafile"},
        {"broker=hub\r\ncertfile=$D/ca.crt\r\n", false, 0, "keyfile"},
        {"broker=hub\r\npassword_file=$D/shared\r\n", false, 0, "others than its owner"},
        {"broker=hub\r\npassword_file=$D/missing\r\n", false, 0, "password_file"},
        {"broker=hub\r\ntopic=plant/+\r\n", false, 0, "topic: no '+', '#' or empty level"},
        {"broker=hub\r\ntopic=plant/#\r\n", false, 0, "topic"},
        {"broker=hub\r\ntopic=plant//room1\r\n", false, 0, "topic"},
        {"broker=hub\r\ntopic=plant/room1/\r\n", false, 0, "topic"},
    };
    for (const SettingsCase& c : cases) {
        std::string section = c.section;
        for (std::size_t at; (at = section.find("$D")) != std::string::npos;) {
            section.replace(at, 2, dir.Path());
        }
        WriteFile(dir / "konfig.ini", "[Publikacja]\r\n" + section);
        const PublishSettingsResult loaded = LoadPublishSettings(IniFile(dir / "konfig.ini"), "h1");
        SCOPED_TRACE(section);
        const auto* settings = std::get_if<PublishSettings>(&loaded);
        const std::string problem = settings ? "" : std::get<PublishingOff>(loaded).why;
        EXPECT_EQ(settings != nullptr, c.on);
        EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
        EXPECT_EQ(problem.empty(), std::string(c.problem).empty()) << problem;
        if (settings) {
            EXPECT_EQ(settings->port, c.port);
        }
    }

    WriteFile(dir / "konfig.ini",
              "[Publikacja]\r\nbroker=hub\r\npassword_file=" + dir / "secret" + "\r\n");
    const PublishSettingsResult loaded = LoadPublishSettings(IniFile(dir / "konfig.ini"), "h1");
    const auto* settings = std::get_if<PublishSettings>(&loaded);
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(settings->password, "s3cret");
    EXPECT_EQ(settings->topic, "tarvelio/h1");
    EXPECT_EQ(settings->client_id, "tarvelio-h1");
}

}  // namespace
}  // namespace station
