// The section "Odczyt": whole seconds from 0 to 3600, with the file's rules; anything else is
// off (or the default wait) and said once; save modes "any" or "stable"; the save keys written
// back without touching the rest.
#include <gtest/gtest.h>

#include "core/settings/reading_settings.h"
#include "tests/support/temp_dir.h"

namespace station {
namespace {

struct ReadingCase {
    const char* file;
    int silence;
    int reconnect;
    std::size_t problems;
};

TEST(ReadingSettings, WholeSecondsUpToAnHourOrOff) {
    const test::TempDir dir;
    const ReadingCase cases[] = {
        {"", 0, 0, 0},
        {"[Polaczenie]\r\nsilence=3\r\n", 0, 0, 0},
        {"[Odczyt]\r\nsilence=3\r\nreconnect=5\r\n", 3, 5, 0},
        {"[odczyt]\r\n SILENCE = \"2\" \r\nReconnect=$A\r\n", 2, 10, 0},
        {"[Odczyt]\r\nsilence=0\r\nreconnect=3600\r\n", 0, 3600, 0},
        {"[Odczyt]\r\nsilence=\r\n", 0, 0, 0},
        {"[Odczyt]\r\nsilence=3601\r\nreconnect=-1\r\n", 0, 0, 2},
        {"[Odczyt]\r\nsilence=2.5\r\nreconnect=5\r\n", 0, 5, 1},
        {"[Odczyt]\r\nsilence=3 s\r\n", 0, 0, 1},
    };
    for (const ReadingCase& c : cases) {
        SCOPED_TRACE(c.file);
        test::WriteFile(dir / "konfig.ini", c.file);
        const ReadingSettingsResult loaded = LoadReadingSettings(IniFile(dir / "konfig.ini"));
        EXPECT_EQ(loaded.settings.silence_seconds, c.silence);
        EXPECT_EQ(loaded.settings.reconnect_seconds, c.reconnect);
        ASSERT_EQ(loaded.problems.size(), c.problems);
        if (c.problems > 0) {
            EXPECT_NE(loaded.problems[0].find("from 0 to 3600"), std::string::npos);
        }
    }
}

struct SaveCase {
    const char* section;
    SaveMode first;
    SaveMode fourth;
    int wait;
    std::size_t problems;
};

TEST(ReadingSettings, SavesTakeAnyReadingUnlessAScaleIsSetToStable) {
    const test::TempDir dir;
    const SaveCase cases[] = {
        {"", SaveMode::kAny, SaveMode::kAny, 3, 0},
        {"save1=stable\r\nstable_wait=0\r\n", SaveMode::kStable, SaveMode::kAny, 0, 0},
        {"SAVE4 = 'Stable'\r\nsave1=any\r\nstable_wait=$10\r\n", SaveMode::kAny, SaveMode::kStable,
         16, 0},
        {"save1=stabel\r\nstable_wait=-1\r\n", SaveMode::kAny, SaveMode::kAny, 3, 2},
        {"stable_wait=3 s\r\n", SaveMode::kAny, SaveMode::kAny, 3, 1},
    };
    for (const SaveCase& c : cases) {
        SCOPED_TRACE(c.section);
        test::WriteFile(dir / "konfig.ini", std::string("[Odczyt]\r\n") + c.section);
        const ReadingSettingsResult loaded = LoadReadingSettings(IniFile(dir / "konfig.ini"));
        EXPECT_EQ(loaded.settings.save_modes[0], c.first);
        EXPECT_EQ(loaded.settings.save_modes[3], c.fourth);
        EXPECT_EQ(loaded.settings.stable_wait_seconds, c.wait);
        EXPECT_EQ(loaded.problems.size(), c.problems);
    }

    const std::string kept = "; plant 2\r\n[Odczyt]\r\nsilence=3 ; serial\r\nsave2=any\r\n";
    test::WriteFile(dir / "konfig.ini", kept);
    ReadingSettings settings;
    settings.save_modes[1] = SaveMode::kStable;
    settings.stable_wait_seconds = 5;
    IniFile file(dir / "konfig.ini");
    StoreSaveSettings(file, settings);
    EXPECT_EQ(test::ReadFile(dir / "konfig.ini"),
              "; plant 2\r\n[Odczyt]\r\nsilence=3 ; serial\r\nsave2=stable\r\nsave1=any\r\n"
              "save3=any\r\nsave4=any\r\nstable_wait=5\r\n");
}

TEST(ReadingSettings,
     AFormatIsAPresetOrAPatternThatCompilesOrElseStandardAndPatternsStayAsWritten) {
    const test::TempDir dir;
    test::WriteFile(dir / "konfig.ini",
                    "[Odczyt]\r\nformat1=CSV-Status\r\nformat2=pattern\r\n"
                    "pattern2=\"^(?P<weight>[0-9.]+) kg$\"\r\nformat3=no-such\r\n"
                    "pattern3=kept\r\nformat4=pattern\r\npattern4=(?P<weight>[0-9]\r\n");
    const ReadingSettingsResult loaded = LoadReadingSettings(IniFile(dir / "konfig.ini"));
    EXPECT_EQ(loaded.settings.formats,
              (std::array<std::string, kScaleCount>{"csv-status", "pattern", "", "pattern"}));
    EXPECT_EQ(loaded.settings.patterns,
              (std::array<std::string, kScaleCount>{"", "^(?P<weight>[0-9.]+) kg$", "kept",
                                                    "(?P<weight>[0-9]"}));
    ASSERT_EQ(loaded.problems.size(), 2u);
    EXPECT_NE(loaded.problems[0].find("format3: no such format: no-such; standard"),
              std::string::npos);
    EXPECT_NE(loaded.problems[1].find("pattern4: does not compile"), std::string::npos);
    EXPECT_NE(MakeFormat(loaded.settings, 1), nullptr);
    EXPECT_NE(MakeFormat(loaded.settings, 2), nullptr);
    EXPECT_EQ(MakeFormat(loaded.settings, 3), nullptr);
    EXPECT_EQ(MakeFormat(loaded.settings, 4), nullptr);
}

}  // namespace
}  // namespace station
