// Emulated indicators in two layouts of their own, through the real window into the register:
// the weight read by its format, grey digits while the load moves, "OL" over range.
#include <QPalette>

#include "tests/app/scale_fixture.h"
#include "tests/support/child_process.h"

namespace station::test {
namespace {

class IndicatorFormatsTest : public ScaleTest {
protected:
    // Starts the emulator with `arguments` for two scales and the station on their ports.
    void StartWith(const std::vector<std::string>& arguments, const std::string& reading) {
        std::vector<std::string> command{EMULATOR_PROGRAM, "--scales", "2", "--port", "0",
                                         "--rate",         "20"};
        command.insert(command.end(), arguments.begin(), arguments.end());
        emulator_.emplace(command, dir_ / "emulator.out");
        std::string out;
        ASSERT_TRUE(RunQtUntil([&] {
            out = ReadFile(dir_ / "emulator.out");
            return std::count(out.begin(), out.end(), '\n') == 2;
        }));
        ports_.fill(unused_);
        for (std::size_t at = 0, n = 0; (at = out.find("127.0.0.1:", at)) != std::string::npos;
             ++n) {
            at += 10;
            ports_.at(n) = std::stoi(out.substr(at));
        }
        WriteSettings();
        WriteFile(dir_ / "dane/konfig.ini",
                  ReadFile(dir_ / "dane/konfig.ini") + "[Odczyt]\r\n" + reading);
        Show();
    }

    bool Grey(int scale) const {
        return Box(scale).Ldisplay->palette().color(QPalette::WindowText) ==
               QColor(0x80, 0x80, 0x80);
    }

    std::optional<ChildProcess> emulator_;
};

TEST_F(IndicatorFormatsTest, TwoLayoutsAreReadIntoTheDisplayAndTheRegister) {
    StartWith({"--format", "1:stx-status", "--start", "1:1234.5", "--format", "2:lf-range",
               "--profile", "2:cycle", "--start", "2:80", "--fault", "2:overload-after=60"},
              "format1=stx-status\r\nformat2=lf-range\r\nsave1=stable\r\n");
    ASSERT_TRUE(RunQtUntil([&] { return Shown(1) == "1235" && !Grey(1); }));
    Box(1).BBsave->click();
    ASSERT_TRUE(RunQtUntil([&] { return std::filesystem::exists(dir_ / "dane/202612.txt"); }));
    EXPECT_EQ(ReadFile(dir_ / "dane/202612.txt").substr(20), "\twaga1\t1235\r\n");

    ASSERT_TRUE(RunQtUntil([&] { return Grey(2) && Shown(2) != "0"; }))
        << "the load moves while the cycle loads";
    ASSERT_TRUE(RunQtUntil([&] { return !Grey(2) && Shown(2) == "80"; })) << "and holds";
    ASSERT_TRUE(RunQtUntil([&] { return Shown(2) == "OL"; }, std::chrono::seconds(6)));
    EXPECT_TRUE(toolkit_.error_boxes.empty());
}

}  // namespace
}  // namespace station::test
