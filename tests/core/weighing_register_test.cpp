#include "core/register/weighing_register.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "core/files/io_error.h"
#include "core/register/register_units.h"
#include "core/text/time_separator.h"
#include "tests/core/fakes.h"
#include "tests/support/temp_dir.h"

namespace station::test {
namespace {

class RegisterTest : public ::testing::Test {
protected:
    RegisterTest() : cwd_(dir_.Path()) { std::filesystem::create_directory(dir_ / "dane"); }

    // The text of the error a save raises, or "" when it succeeds.
    std::string SaveError(int scale, const std::string& shown) {
        try {
            register_.SaveWeighing(scale, shown);
            return "";
        } catch (const InOutError& e) {
            return e.what();
        }
    }

    TempDir dir_;
    WorkingDirectory cwd_;
    FakeClock clock_;
    WeighingRegister register_{clock_, ':', kDataDirectory};
};

TEST_F(RegisterTest, FirstSaveOfTheMonthCreatesTheFileLaterSavesAppend) {
    clock_.now = {2026, 12, 6, 19, 21, 7, 450};
    register_.SaveWeighing(2, "1234");
    EXPECT_EQ(ReadFile(dir_ / "dane/202612.txt"), "2026-12-06, 19:21:07\twaga2\t1234\r\n");

    clock_.now = {2026, 12, 6, 19, 21, 7, 900};  // same second: two lines, nothing merged
    register_.SaveWeighing(2, "1234");
    clock_.now = {2026, 12, 31, 23, 59, 59, 0};
    register_.SaveWeighing(3, "- - - - -");
    register_.SaveWeighing(1, "#err");
    register_.SaveWeighing(4, "-12");
    EXPECT_EQ(ReadFile(dir_ / "dane/202612.txt"),
              "2026-12-06, 19:21:07\twaga2\t1234\r\n"
              "2026-12-06, 19:21:07\twaga2\t1234\r\n"
              "2026-12-31, 23:59:59\twaga3\t- - - - -\r\n"
              "2026-12-31, 23:59:59\twaga1\t#err\r\n"
              "2026-12-31, 23:59:59\twaga4\t-12\r\n");

    clock_.now = {2027, 1, 1, 0, 0, 0, 0};  // a new month starts a new file
    register_.SaveWeighing(1, "0");
    EXPECT_EQ(ReadFile(dir_ / "dane/202701.txt"), "2027-01-01, 00:00:00\twaga1\t0\r\n");
}

// A unit other than kilograms goes beside the line, never into it, and is read back by the line;
// an entry whose save failed after it names no weighing in the register.
TEST_F(RegisterTest, AUnitIsKeptBesideTheLineAndReadBackByIt) {
    clock_.now = {2026, 12, 6, 19, 21, 7, 450};
    std::filesystem::create_directory(dir_ / "dane/202612.txt");  // the register cannot be written
    EXPECT_THROW(register_.SaveWeighing(1, "7", "t"), InOutError);
    std::filesystem::remove(dir_ / "dane/202612.txt");
    register_.SaveWeighing(1, "1500", "g");
    register_.SaveWeighing(2, "1500", "kg");
    register_.SaveWeighing(3, "1500");
    register_.SaveWeighing(1, "7");
    EXPECT_EQ(ReadFile(dir_ / "dane/202612.txt"),
              "2026-12-06, 19:21:07\twaga1\t1500\r\n2026-12-06, 19:21:07\twaga2\t1500\r\n"
              "2026-12-06, 19:21:07\twaga3\t1500\r\n2026-12-06, 19:21:07\twaga1\t7\r\n");
    RegisterUnits units("dane");
    std::vector<std::string> read;
    for (const RegisterEntry& entry : ReadRegisterAfter("dane", {}, 10).entries) {
        read.push_back(units.UnitOf(entry));
    }
    EXPECT_EQ(read, (std::vector<std::string>{"g", "kg", "kg", "kg"}));
}

TEST_F(RegisterTest, TimeSeparatorOfTheLocaleStandsBetweenTheTimeFields) {
    WeighingRegister dotted(clock_, '.', kDataDirectory);
    clock_.now = {2026, 12, 6, 9, 1, 7, 0};
    dotted.SaveWeighing(1, "5");
    EXPECT_EQ(ReadFile(dir_ / "dane/202612.txt"), "2026-12-06, 09.01.07\twaga1\t5\r\n");

    EXPECT_EQ(TimeSeparatorOf("%H:%M:%S"), ':');
    EXPECT_EQ(TimeSeparatorOf("%H.%M.%S"), '.');
    EXPECT_EQ(TimeSeparatorOf("%-H.%M"), '.');
    EXPECT_EQ(TimeSeparatorOf("%T"), ':');
    EXPECT_EQ(TimeSeparatorOf("%r"), ':');
    EXPECT_EQ(TimeSeparatorOf("%I %M"), ':');
    EXPECT_EQ(TimeSeparatorOf(""), ':');
}

TEST_F(RegisterTest, EndOfFileMarksAreDroppedOnlyWhenTheyEndTheFile) {
    const std::string earlier = "2026-12-01, 08:00:00\twaga1\t10\r\n";
    WriteFile(dir_ / "dane/202612.txt", earlier + "\x1a\x1a");
    register_.SaveWeighing(1, "11");
    const std::string line = "2026-12-07, 14:03:07\twaga1\t11\r\n";
    EXPECT_EQ(ReadFile(dir_ / "dane/202612.txt"), earlier + line);

    // A mark with saved weighings after it is data: nothing is cut away.
    const std::string kept = "a\x1a" + earlier;
    WriteFile(dir_ / "dane/202612.txt", kept);
    register_.SaveWeighing(1, "11");
    EXPECT_EQ(ReadFile(dir_ / "dane/202612.txt"), kept + line);
}

TEST_F(RegisterTest, EmptyLineWritesNothing) {
    AppendLineToFile(dir_ / "dane/empty.txt", "");
    EXPECT_FALSE(std::filesystem::exists(dir_ / "dane/empty.txt"));
}

TEST_F(RegisterTest, FailuresCarryTheirInputOutputTexts) {
    std::filesystem::rename(dir_ / "dane", dir_ / "elsewhere");
    EXPECT_EQ(SaveError(1, "5"), "Invalid filename");
    EXPECT_FALSE(std::filesystem::exists(dir_ / "dane"));

    WriteFile(dir_ / "dane", "a file where the directory should be");
    EXPECT_EQ(SaveError(1, "5"), "Invalid filename");
    std::filesystem::remove(dir_ / "dane");

    std::filesystem::create_directories(dir_ / "dane/202612.txt");
    EXPECT_EQ(SaveError(1, "5"), "File access denied");
    std::filesystem::remove(dir_ / "dane/202612.txt");

    std::filesystem::create_symlink("/dev/full", dir_ / "dane/202612.txt");
    EXPECT_EQ(SaveError(1, "5"), "Disk full");
}

TEST_F(RegisterTest, FileThatAnotherProgramIsWritingIsRefused) {
    WriteFile(dir_ / "dane/202612.txt", "");
    const int other = open((dir_ / "dane/202612.txt").c_str(), O_RDONLY);
    ASSERT_EQ(flock(other, LOCK_EX), 0);
    EXPECT_EQ(SaveError(1, "5"), "File access denied");
    close(other);
    EXPECT_EQ(SaveError(1, "5"), "");
}

TEST_F(RegisterTest, ReadOnlyFileIsRefusedToAnOrdinaryUser) {
    WriteFile(dir_ / "dane/202612.txt", "kept\r\n");
    chmod((dir_ / "dane/202612.txt").c_str(), 0444);
    chmod(dir_.Path().c_str(), 0755);
    chmod((dir_ / "dane").c_str(), 0755);
    // Root writes anyway; an ordinary user, as the station runs, is refused.
    const pid_t child = fork();
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) {
            _exit(2);
        }
        _exit(SaveError(1, "5") == "File access denied" ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (WEXITSTATUS(status) == 2) {
        GTEST_SKIP() << "becoming another user needs root";
    }
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadFile(dir_ / "dane/202612.txt"), "kept\r\n");
}

}  // namespace
}  // namespace station::test
