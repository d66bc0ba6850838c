// The section "Odczyt": whole seconds from 0 to 3600, with the file's rules; anything else is
// off and said once.
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

}  // namespace
}  // namespace station
