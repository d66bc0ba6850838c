// Emulated indicators in two layouts of their own, through the real window into the register:
// the weight read by its format, grey digits while the load moves, "OL" over range. And every
// preset's frames from a plain peer: the scale's unit beside its digits, a single frame shown at
// once, and a creeping load never saved as stable.
#include <QPalette>

#include "tests/app/scale_fixture.h"
#include "tests/support/child_process.h"
#include "tools/emulator/preset_frames.h"

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

class EveryPresetTest : public ScaleTest, public ::testing::WithParamInterface<std::string_view> {
protected:
    // The preset's frame for `tenths` in `unit`, the load still or moving.
    static emulator::PresetFrame Frame(std::int64_t tenths, std::string_view unit, bool moving) {
        emulator::FirstFill fill;
        return emulator::MakePresetFrame(GetParam(), tenths, moving, false, fill, unit, 0);
    }
    // Frames with no end but the next frame's start are whole once one has shown their length.
    static bool EndedByTheNext() { return GetParam().starts_with("equals"); }

    Listener server_;
};

TEST_P(EveryPresetTest, ShowsTheUnitAtOnceAndRefusesACreepingLoad) {
    const std::string preset(GetParam());
    ports_.fill(unused_);
    ports_[0] = server_.Port();
    WriteSettings();
    WriteFile(dir_ / "dane/konfig.ini", ReadFile(dir_ / "dane/konfig.ini") +
                                            "[Odczyt]\r\nformat1=" + preset +
                                            "\r\nsave1=stable\r\nstable_wait=0\r\n");
    Start();
    const int peer = ConnectScale(server_, 1);
    for (const std::string_view unit : {"g", "t", "lb"}) {
        SCOPED_TRACE(std::string(unit));
        const emulator::PresetFrame frame = Frame(15000, unit, false);
        SendAll(peer, EndedByTheNext() ? frame.bytes + frame.bytes : frame.bytes);
        const QString label = QString::fromStdString(frame.unit.empty() ? "kg" : frame.unit);
        EXPECT_TRUE(RunQtUntil([&] { return Shown(1) == "1500" && Box(1).Label->text() == label; }))
            << Shown(1).toStdString() << " " << Box(1).Label->text().toStdString();
        SendAll(peer, Frame(0, unit, false).bytes);  // the next weighing, so that each row is new
        EXPECT_TRUE(RunQtUntil([&] { return Shown(1) == "0"; }) || EndedByTheNext());
    }
    // A tenth a frame, over more than the half second that settles a run: the rounding hides it.
    for (std::int64_t count = 0; count < 5; ++count) {
        SendAll(peer, Frame(15000 + count, "kg", true).bytes);
        RunQtUntil([] { return false; }, std::chrono::milliseconds(150));
    }
    ASSERT_TRUE(RunQtUntil([&] { return Shown(1) == "1500"; }));
    Box(1).BBsave->click();
    ASSERT_TRUE(RunQtUntil([&] { return !toolkit_.error_boxes.empty(); }));
    EXPECT_EQ(toolkit_.error_boxes[0].second.toStdString(),
              "Waga 1: brak stabilnego odczytu - ważenie nie zostało zapisane.");
    EXPECT_FALSE(std::filesystem::exists(dir_ / "dane/202612.txt"));
    close(peer);
}

INSTANTIATE_TEST_SUITE_P(Presets, EveryPresetTest,
                         ::testing::ValuesIn(emulator::PresetFrameNames()), [](const auto& preset) {
                             std::string name(preset.param);
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

}  // namespace
}  // namespace station::test
