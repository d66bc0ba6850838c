// What publishing reads and keeps: its settings, the register read as a queue, the place
// delivery has reached, and the messages built from register lines.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/stat.h>

#include "core/files/io_error.h"
#include "core/register/weighing_journal.h"
#include "core/register/weighing_message.h"
#include "core/settings/publish_settings.h"
#include "tests/core/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace station {
namespace {

using test::ReadFile;
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
        {"broker=\r\nport=1884\r\n", false, 0, ""},
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
    };
    for (const SettingsCase& c : cases) {
        std::string section = c.section;
        for (std::size_t at; (at = section.find("$D")) != std::string::npos;) {
            section.replace(at, 2, dir.Path());
        }
        WriteFile(dir / "konfig.ini", "[Publikacja]\r\n" + section);
        const PublishSettingsResult loaded = LoadPublishSettings(IniFile(dir / "konfig.ini"), "h1");
        SCOPED_TRACE(section);
        EXPECT_EQ(loaded.settings.has_value(), c.on);
        EXPECT_NE(loaded.problem.find(c.problem), std::string::npos) << loaded.problem;
        EXPECT_EQ(loaded.problem.empty(), std::string(c.problem).empty()) << loaded.problem;
        if (loaded.settings) {
            EXPECT_EQ(loaded.settings->port, c.port);
        }
    }

    WriteFile(dir / "konfig.ini",
              "[Publikacja]\r\nbroker=hub\r\npassword_file=" + dir / "secret" + "\r\n");
    const PublishSettingsResult loaded = LoadPublishSettings(IniFile(dir / "konfig.ini"), "h1");
    ASSERT_TRUE(loaded.settings);
    EXPECT_EQ(loaded.settings->password, "s3cret");
    EXPECT_EQ(loaded.settings->topic, "tarvelio/h1");
    EXPECT_EQ(loaded.settings->client_id, "tarvelio-h1");
}

TEST(RegisterQueue, ReadsCompleteLinesAfterAPlaceAcrossMonths) {
    const TempDir dir;
    WriteFile(dir / "202611.txt", "a\r\nb\r\n");
    WriteFile(dir / "202612.txt", "c\r\nd\r\npartial");
    WriteFile(dir / "2026.txt", "not a month\r\n");
    const auto lines = [&](const RegisterPosition& from, std::size_t limit) {
        std::vector<std::string> read;
        for (const RegisterEntry& entry : ReadRegisterAfter(dir.Path(), from, limit)) {
            read.push_back(entry.line);
        }
        return read;
    };
    using Lines = std::vector<std::string>;
    EXPECT_EQ(lines({}, 10), (Lines{"a", "b", "c", "d"}));
    EXPECT_EQ(lines({"202611.txt", 3}, 10), (Lines{"b", "c", "d"}));
    EXPECT_EQ(lines({"202611.txt", 3}, 2), (Lines{"b", "c"}));
    EXPECT_EQ(lines({"202612.txt", 6}, 10), Lines{});
    const std::vector<RegisterEntry> entries = ReadRegisterAfter(dir.Path(), {"202612.txt", 0}, 1);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].end, (RegisterPosition{"202612.txt", 3}));
    EXPECT_EQ(lines(entries[0].end, 10), Lines{"d"});
    EXPECT_EQ(RegisterEnd(dir.Path()), (RegisterPosition{"202612.txt", 13}));

    EXPECT_FALSE(LoadRegisterPosition(dir / "state"));
    StoreRegisterPosition(dir / "state", {"202612.txt", 6});
    EXPECT_EQ(LoadRegisterPosition(dir / "state"), (RegisterPosition{"202612.txt", 6}));
    StoreRegisterPosition(dir / "state", {});
    EXPECT_EQ(LoadRegisterPosition(dir / "state"), RegisterPosition{});
    EXPECT_THROW(StoreRegisterPosition(dir / "202611.txt/state", {}), InOutError);
}

TEST(PublishedMessages, AWeighingReadsTheSameFromItsLineAlone) {
    const test::ScopedEnv zone("TZ", "Europe/Warsaw");
    const RegisterEntry entry{{"202607.txt", 44},
                              {"202607.txt", 80},
                              "2026-07-01, 09.05.02\twaga3\t-12\xb3"};  // "ł" in the code page
    const auto message = nlohmann::json::parse(WeighingMessage(entry, "st"));
    EXPECT_EQ(message["id"], "st/202607/44");
    EXPECT_EQ(message["scale"], 3);
    EXPECT_EQ(message["reading"], "-12ł");
    EXPECT_EQ(message["time"], "2026-07-01T09:05:02+02:00");
    EXPECT_EQ(message["line"], "2026-07-01, 09.05.02\twaga3\t-12ł");

    const auto broken = nlohmann::json::parse(WeighingMessage({{}, {}, "no tabs"}, "st"));
    EXPECT_EQ(broken["scale"], nullptr);
    EXPECT_EQ(broken["line"], "no tabs");
    EXPECT_EQ(nlohmann::json::parse(ScaleStateMessage(true, "5", 0))["time"],
              "1970-01-01T01:00:00+01:00");
}

}  // namespace
}  // namespace station
