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

// A line's bad day through the real window from a plain peer: a half frame glued to the next,
// a lost ending, LF-only endings, a check byte, a unit in the status byte, a block without a
// net, noise before a frame's start. What shows is the frame's own weight or "#err", and a click
// saves what shows, or nothing, never a weight nobody weighed; under both save modes.
struct BadDay {
    const char* preset;
    std::string bytes;
    const char* shown;
    const char* never;  // the weight a careless reader would show
};

const BadDay kBadDays[] = {
    {"csv-status", "ST,GS,+00250.0kg\r\nST,GS,+0ST,GS,+00333.0kg\r\n", "#err", "0"},
    {"csv-status", "ST,GS,+00250.0kg\r\nST,GS,+00355.0kgST,GS,+00356.0kg\r\n", "#err", "355"},
    {"csv-status", "ST,GS,+00250.0kg\r\nST,GS,+00300.0kg\n", "300", "#err"},
    {"stx-status",
     "\x02"
     "2  002500\r\n\x02"
     "2  003000\r\n",
     "3000", "#err"},
    {"stx-etx", "\x02+0251002\x1f\x03", "251", "251002"},
    {"stx-polarity", "\x02+  250.0KGM\r\n\x13\x7f\x02+  300.0KG \r\n", "300", "#err"},
    {"block",
     "GROSS 252.0 kg\r\nTARE 70.0 kg\r\nGROSS 262.0 kg\r\nTARE 70.0 kg\r\nGROSS 262.0 kg\r\n",
     "192", "262"},
    {"equals", "=0.052=0.052=0.003=0.003=", "300", "#err"},
};

class BadDayTest : public ScaleTest,
                   public ::testing::WithParamInterface<std::tuple<BadDay, const char*>> {
protected:
    Listener server_;
};

TEST_P(BadDayTest, ShowsAndSavesTheFramesOwnWeightOrNone) {
    const auto& [day, mode] = GetParam();
    ports_.fill(unused_);
    ports_[0] = server_.Port();
    WriteSettings();
    WriteFile(dir_ / "dane/konfig.ini", ReadFile(dir_ / "dane/konfig.ini") +
                                            "[Odczyt]\r\nformat1=" + day.preset +
                                            "\r\nsave1=" + mode + "\r\nstable_wait=0\r\n");
    Start();
    const int peer = ConnectScale(server_, 1);
    std::vector<QString> shown;
    for (const char byte : day.bytes) {  // a byte a read: every reading on the way is seen
        SendAndWait(peer, 1, std::string(1, byte));
        if (shown.empty() || shown.back() != Shown(1)) {
            shown.push_back(Shown(1));
        }
    }
    EXPECT_EQ(Shown(1).toStdString(), day.shown);
    EXPECT_EQ(std::count(shown.begin(), shown.end(), QString(day.never)), 0);
    Box(1).BBsave->click();
    const std::filesystem::path month = dir_ / "dane/202612.txt";
    RunQtUntil([&] { return std::filesystem::exists(month) || !toolkit_.error_boxes.empty(); });
    if (std::filesystem::exists(month)) {
        EXPECT_EQ(ReadFile(month).substr(20), std::string("\twaga1\t") + day.shown + "\r\n");
    }
    EXPECT_TRUE(std::filesystem::exists(month) || std::string(mode) == "stable");
    close(peer);
}

INSTANTIATE_TEST_SUITE_P(Days, BadDayTest,
                         ::testing::Combine(::testing::ValuesIn(kBadDays),
                                            ::testing::Values("any", "stable")),
                         [](const auto& day) {
                             return std::to_string(day.index / 2) + "_" + std::get<1>(day.param);
                         });

}  // namespace
}  // namespace station::test
