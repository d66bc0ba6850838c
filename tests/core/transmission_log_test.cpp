#include "core/reading/transmission_log.h"

#include <gtest/gtest.h>

#include <string>

#include "core/files/io_error.h"
#include "tests/core/fakes.h"
#include "tests/support/temp_dir.h"

namespace station {
namespace {

class RecordingView final : public LogView {
public:
    void LineAdded(std::string_view line) override { events.push_back("+" + std::string(line)); }
    void Cleared() override { events.push_back("clear"); }
    std::vector<std::string> events;
};

TEST(LogLine, IsTimeScaleTagAndTextSideBySide) {
    test::FakeClock clock;
    clock.now = LocalTime{2026, 1, 2, 9, 5, 3, 7};
    TransmissionLog log(clock);
    log.LogTransmission(log_code::kReceived, "  12.5 kg", 2);
    log.LogTransmission(log_code::kSent, "x", -3);
    log.LogTransmission(log_code::kEvent, "", 0);
    log.LogTransmission(log_code::kFault, "y", 5);
    log.LogTransmission(log_code::kQuestion, "z", 1);
    log.LogTransmission(7, "no tag", 4);
    clock.now = LocalTime{2026, 1, 2, 23, 59, 59, 999};
    log.LogTransmission(log_code::kReceived, std::string("\xff\0", 2), 1);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                               "09-05-03.007 2  <<   12.5 kg",
                               "09-05-03.007 -3  >> x",
                               "09-05-03.007 0  @@ ",
                               "09-05-03.007 5  !! y",
                               "09-05-03.007 1  ?? z",
                               "09-05-03.007 4 no tag",
                               std::string("23-59-59.999 1  << \xff\0", 21),
                           }));
}

TEST(LogCapacity, KeepsTwoThousandAndOneLinesThenStartsAgain) {
    test::FakeClock clock;
    TransmissionLog log(clock);
    RecordingView view;
    log.SetView(&view);
    for (int i = 1; i <= 2001; ++i) {
        log.LogTransmission(log_code::kReceived, std::to_string(i), 1);
    }
    ASSERT_EQ(log.Lines().size(), 2001u);
    EXPECT_EQ(log.Lines().front(), "14-03-07.045 1  << 1");
    EXPECT_EQ(view.events.size(), 2001u);
    log.LogTransmission(log_code::kReceived, "2002", 1);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"14-03-07.045 1  << 2002"}));
    EXPECT_EQ(view.events[2001], "clear");
    EXPECT_EQ(view.events[2002], "+14-03-07.045 1  << 2002");
}

class LogSaving : public ::testing::Test {
protected:
    std::string ErrorOfSavingTo(const std::string& path) {
        try {
            log_.SaveToFile(path);
        } catch (const InOutError& error) {
            return error.what();
        }
        return "saved";
    }

    test::FakeClock clock_;
    TransmissionLog log_{clock_};
    test::TempDir dir_;
};

TEST_F(LogSaving, WritesHeaderAndEveryLineWithCrLfByteForByte) {
    const std::string path = dir_ / "rs232_log.txt";
    test::WriteFile(path, "old content that is longer than the new one, to be truncated away");
    log_.LogTransmission(log_code::kReceived, "1\xb9\xea", 1);
    log_.LogTransmission(log_code::kReceived, "", 4);
    log_.SaveToFile(path);
    EXPECT_EQ(test::ReadFile(path),
              "------ Waga ------ \r\n14-03-07.045 1  << 1\xb9\xea\r\n14-03-07.045 4  << \r\n");
    EXPECT_EQ(log_.Lines().size(), 2u);
}

TEST_F(LogSaving, EmptyLogWritesTheHeaderAlone) {
    const std::string path = dir_ / "empty.txt";
    log_.SaveToFile(path);
    EXPECT_EQ(test::ReadFile(path), "------ Waga ------ \r\n");
}

TEST_F(LogSaving, FailuresCarryTheStationsTexts) {
    test::WriteFile(dir_ / "plain", "x");
    EXPECT_EQ(ErrorOfSavingTo(dir_ / "missing/log.txt"), "Invalid filename");
    EXPECT_EQ(ErrorOfSavingTo(dir_ / "plain/log.txt"), "Invalid filename");
    EXPECT_EQ(ErrorOfSavingTo(dir_.Path()), "File access denied");
    log_.LogTransmission(log_code::kReceived, "1", 1);
    EXPECT_EQ(ErrorOfSavingTo("/dev/full"), "Disk full");
    EXPECT_EQ(log_.Lines().size(), 1u);
}

TEST(InOutErrorTexts, MapSystemErrorsToTheStationsTable) {
    EXPECT_STREQ(InOutError::FromErrno(ENOENT, false).what(), "File not found");
    EXPECT_STREQ(InOutError::FromErrno(ENOENT, true).what(), "Invalid filename");
    EXPECT_STREQ(InOutError::FromErrno(EMFILE, true).what(), "Too many open files");
    EXPECT_STREQ(InOutError::FromErrno(EROFS, true).what(), "File access denied");
    EXPECT_EQ(InOutError::FromErrno(EDQUOT, true).Code(), 101);
    EXPECT_STREQ(InOutError::FromErrno(EIO, true).what(), "I/O error 5");
    EXPECT_STREQ(InOutError::FromErrno(EBADF, true).what(), "I/O error 9");
}

}  // namespace
}  // namespace station
