#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>

#include "common/ini_file.h"
#include "common/integer_text.h"
#include "core/settings/connection_settings.h"
#include "tests/support/temp_dir.h"

namespace station {
namespace {

using Ports = std::array<std::int32_t, kScaleCount>;
using Addresses = std::array<std::string, kScaleCount>;

TEST(IntegerRule, AcceptsDecimalAndHexadecimalFormsOnly) {
    const std::pair<const char*, std::int32_t> accepted[] = {
        {"12", 12},
        {"   12", 12},
        {"+12", 12},
        {"-12", -12},
        {"00012", 12},
        {"0", 0},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"$7D1", 2001},
        {"0x7D1", 2001},
        {"0X7d1", 2001},
        {"x1f", 31},
        {"X1F", 31},
        {"$FFFFFFFF", -1},
        {"$80000000", INT32_MIN},
        {"$000000001", 1},
    };
    for (const auto& [text, value] : accepted) {
        EXPECT_EQ(ParseInteger(text), value) << "text: " << text;
    }
    for (const char* text :
         {"", " ", "+", "-", "12 ", "12a", "abc", "\t12", "1e3", "2147483648", "-2147483649",
          "$100000000", "$", "0x", "-$10", "$-10", "+0x10", "1 2", "0x7G"}) {
        EXPECT_FALSE(ParseInteger(text).has_value()) << "text: " << text;
    }
}

class SettingsStore : public ::testing::Test {
protected:
    ConnectionSettings Load() {
        ConnectionSettings settings;
        settings.addresses.fill("stale");
        settings.ports.fill(-7);
        LoadConnectionSettings(settings, file_);
        return settings;
    }

    test::TempDir dir_;
    std::string path_ = dir_ / "konfig.ini";
    IniFile file_{path_};
};

TEST_F(SettingsStore, MissingFileGivesTheDefaults) {
    const ConnectionSettings settings = Load();
    EXPECT_EQ(settings.addresses, (Addresses{"127.0.0.1", "127.0.0.1", "127.0.0.1", "127.0.0.1"}));
    EXPECT_EQ(settings.ports, (Ports{2001, 2002, 2003, 2004}));
}

TEST_F(SettingsStore, ReadsValuesAsTheFormatDefines) {
    test::WriteFile(path_,
                    "; station settings\r\n"
                    "[Other]\r\nport1=1\r\n"
                    "  [ polaczenie ]  \r\n"
                    "PORT1 = 0x7D1\r\n"
                    "port2=abc\r\n"
                    "Port3 =  2005  \r\n"
                    "port4=2005a\r\n"
                    "address1 = \"10.0.0.1\" \r\n"
                    "address2='10.0.0.2'\n"
                    "address3=\r\n"
                    "address4=\"10.0.0.4'\r\n"
                    "[Polaczenie]\r\naddress3=second section\r\n");
    const ConnectionSettings settings = Load();
    EXPECT_EQ(settings.addresses, (Addresses{"10.0.0.1", "10.0.0.2", "", "\"10.0.0.4'"}));
    EXPECT_EQ(settings.ports, (Ports{2001, 2002, 2005, 2004}));
}

TEST_F(SettingsStore, FirstOfTwiceStandingKeysIsReadAndWritten) {
    test::WriteFile(path_, "[Polaczenie]\r\nport1=$7D5\r\nport1=9\r\n");
    EXPECT_EQ(Load().ports[0], 2005);
    file_.WriteString("Polaczenie", "port1", "3000");
    EXPECT_EQ(test::ReadFile(path_), "[Polaczenie]\r\nport1=3000\r\nport1=9\r\n");
}

TEST_F(SettingsStore, ValuesAreCutAtTheLengthLimit) {
    test::WriteFile(path_, "[Polaczenie]\r\naddress1=" + std::string(3000, 'a') + "\r\n");
    EXPECT_EQ(Load().addresses[0], std::string(IniFile::kMaxValueLength, 'a'));
}

TEST_F(SettingsStore, NewFileHoldsTheHeaderAndTheEightKeysInOrder) {
    ConnectionSettings settings;
    settings.addresses = {"192.168.1.10", "", "scale3", "127.0.0.1"};
    settings.ports = {2001, -5, 0, 70000};
    SaveConnectionSettings(settings, file_);
    EXPECT_EQ(test::ReadFile(path_),
              "[Polaczenie]\r\naddress1=192.168.1.10\r\naddress2=\r\naddress3=scale3\r\n"
              "address4=127.0.0.1\r\nport1=2001\r\nport2=-5\r\nport3=0\r\nport4=70000\r\n");
    const ConnectionSettings loaded = Load();
    EXPECT_EQ(loaded.addresses, settings.addresses);
    EXPECT_EQ(loaded.ports, settings.ports);
}

TEST_F(SettingsStore, SaveKeepsEveryForeignByte) {
    test::WriteFile(path_,
                    "; comment \xb9\r\n"
                    "[Other]\nkey = value \n\n"
                    "[POLACZENIE]\r\n"
                    "Port2 = 1\r\n"
                    "; inside\r\n"
                    "extra=1\r\n"
                    "\r\n"
                    "[Last]\r\n"
                    "tail=no line end");
    ConnectionSettings settings;
    SaveConnectionSettings(settings, file_);
    EXPECT_EQ(test::ReadFile(path_),
              "; comment \xb9\r\n"
              "[Other]\nkey = value \n\n"
              "[POLACZENIE]\r\n"
              "port2=2002\r\n"
              "; inside\r\n"
              "extra=1\r\n"
              "address1=127.0.0.1\r\naddress2=127.0.0.1\r\naddress3=127.0.0.1\r\n"
              "address4=127.0.0.1\r\nport1=2001\r\nport3=2003\r\nport4=2004\r\n"
              "\r\n"
              "[Last]\r\n"
              "tail=no line end");
}

TEST_F(SettingsStore, MissingSectionIsAddedAtTheEnd) {
    test::WriteFile(path_, "[Other]\r\nx=1");
    file_.WriteString("Polaczenie", "port1", "1");
    EXPECT_EQ(test::ReadFile(path_), "[Other]\r\nx=1\r\n[Polaczenie]\r\nport1=1\r\n");
}

// Found by fuzzing: a file whose last line ends in a carriage return alone once had that CR
// doubled, and the value read back carried it.
TEST_F(SettingsStore, LastLineEndedByACarriageReturnAloneGetsItsLineFeed) {
    test::WriteFile(path_, "[Polaczenie]\r\naddress1=10.0.0.1\r");
    file_.WriteString("Polaczenie", "address2", "10.0.0.2");
    EXPECT_EQ(test::ReadFile(path_), "[Polaczenie]\r\naddress1=10.0.0.1\r\naddress2=10.0.0.2\r\n");
    EXPECT_EQ(Load().addresses[0], "10.0.0.1");

    test::WriteFile(path_, "[Other]\r\nx=1\r");
    file_.WriteString("Polaczenie", "port1", "1");
    EXPECT_EQ(test::ReadFile(path_), "[Other]\r\nx=1\r\n[Polaczenie]\r\nport1=1\r\n");
}

TEST_F(SettingsStore, AValueNeverSpansLines) {
    file_.WriteString("Polaczenie", "address1", "10.0.0.1\r\n[Injected]");
    EXPECT_EQ(test::ReadFile(path_), "[Polaczenie]\r\naddress1=10.0.0.1\r\n");
}

TEST_F(SettingsStore, ReplacementKeepsModeAndWritesThroughLinks) {
    const std::string target = dir_ / "real.ini";
    test::WriteFile(target, "[Polaczenie]\r\nport1=1\r\n");
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);
    ASSERT_EQ(symlink("real.ini", path_.c_str()), 0);
    file_.WriteString("Polaczenie", "port1", "2");
    struct stat link {};
    ASSERT_EQ(lstat(path_.c_str(), &link), 0);
    EXPECT_TRUE(S_ISLNK(link.st_mode));
    EXPECT_EQ(test::ReadFile(target), "[Polaczenie]\r\nport1=2\r\n");
    struct stat real {};
    ASSERT_EQ(stat(target.c_str(), &real), 0);
    EXPECT_EQ(real.st_mode & 07777, 0640u);
}

// The message of a write that fails, or "written".
std::string WriteError(IniFile& file) {
    try {
        file.WriteString("Polaczenie", "port1", "1");
    } catch (const IniWriteError& error) {
        return error.what();
    }
    return "written";
}

TEST_F(SettingsStore, UnwritableFileFailsAndStaysAsItWas) {
    IniFile through_plain_file(dir_ / "plain/konfig.ini");
    test::WriteFile(dir_ / "plain", "x");
    EXPECT_EQ(WriteError(through_plain_file), "Unable to write to " + (dir_ / "plain/konfig.ini"));
    EXPECT_EQ(test::ReadFile(dir_ / "plain"), "x");

    ASSERT_EQ(mkdir(path_.c_str(), 0755), 0);  // a directory where the file should be
    EXPECT_EQ(WriteError(file_), "Unable to write to " + path_);

    IniFile dangling(dir_ / "dangling.ini");
    ASSERT_EQ(symlink("nowhere/x.ini", (dir_ / "dangling.ini").c_str()), 0);
    EXPECT_EQ(WriteError(dangling), "Unable to write to " + (dir_ / "dangling.ini"));
}

TEST_F(SettingsStore, ReadOnlyFileFailsEvenWhereItsDirectoryIsWritable) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to drop to another user";
    }
    const std::string original = "[Polaczenie]\r\nport1=5\r\n";
    test::WriteFile(path_, original);
    ASSERT_EQ(chmod(path_.c_str(), 0444), 0);
    ASSERT_EQ(chmod(dir_.Path().c_str(), 0777), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const bool dropped = setgid(65534) == 0 && setuid(65534) == 0;
        _exit(dropped && WriteError(file_) == "Unable to write to " + path_ ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(test::ReadFile(path_), original);
}

TEST_F(SettingsStore, ErrorNamesTheFileAsTheStationNamesIt) {
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir_.Path());
    IniFile relative(kSettingsFileName);
    const std::string message = WriteError(relative);  // there is no dane/ here
    std::filesystem::current_path(previous);
    EXPECT_EQ(message, "Unable to write to dane/konfig.ini");
}

TEST_F(SettingsStore, RandomFilesNeverBreakReadingAndSavedValuesReadBack) {
    std::mt19937 random(7);
    const std::string pieces[] = {"[Polaczenie]",
                                  "[polaczenie",
                                  "[x]",
                                  "port1=",
                                  "ADDRESS2 =",
                                  "=",
                                  "\r\n",
                                  "\n",
                                  "\r",
                                  ";",
                                  "\"",
                                  "'",
                                  " ",
                                  "\t",
                                  "$7D1",
                                  std::string(3000, 'z'),
                                  std::string(1, '\0'),
                                  "\xff"};
    for (int round = 0; round < 300; ++round) {
        std::string content;
        const int count = std::uniform_int_distribution<int>(0, 40)(random);
        for (int i = 0; i < count; ++i) {
            content += pieces[std::uniform_int_distribution<std::size_t>(
                0, std::size(pieces) - 1)(random)];
        }
        test::WriteFile(path_, content);
        Load();
        ConnectionSettings settings;
        settings.addresses = {"10.0.0." + std::to_string(round), "", "a b", "'q'x"};
        settings.ports = {round, -round, 65535, INT32_MIN};
        SaveConnectionSettings(settings, file_);
        const ConnectionSettings loaded = Load();
        ASSERT_EQ(loaded.addresses, settings.addresses) << "round " << round;
        ASSERT_EQ(loaded.ports, settings.ports) << "round " << round;
    }
}

}  // namespace
}  // namespace station
