// Lines that fall silent, and lines connected again by the station itself, through the real
// window: the scale emulator stops sending on an open connection after a few lines.
#include <fstream>

#include "tests/app/scale_fixture.h"
#include "tests/support/child_process.h"

namespace station::test {
namespace {

class LineWatchTest : public ScaleTest {
protected:
    // Starts the station with scale 1 at `port` and `reading` as its section "Odczyt".
    void StartWith(int port, const std::string& reading) {
        ports_.fill(unused_);
        ports_[0] = port;
        WriteSettings();
        std::ofstream(dir_ / "dane/konfig.ini", std::ios::app | std::ios::binary) << "[Odczyt]\r\n"
                                                                                  << reading;
        Show();
    }

    // An emulated scale that sends three lines on each connection and then nothing; its port.
    int StallingScale() {
        emulator_.emplace(std::vector<std::string>{EMULATOR_PROGRAM, "--scales", "1", "--port", "0",
                                                   "--rate", "20", "--fault", "stall-after=3"},
                          dir_ / "emulator.out");
        // "scale 1: 127.0.0.1:PORT" once it listens.
        const std::string listening = "127.0.0.1:";
        std::string out;
        EXPECT_TRUE(RunQtUntil([&] {
            out = ReadFile(dir_ / "emulator.out");
            return out.find('\n') != std::string::npos;
        }));
        const std::size_t at = out.find(listening);
        return at == std::string::npos ? 0 : std::stoi(out.substr(at + listening.size()));
    }

    std::size_t Logged(const std::string& part) const {
        std::size_t count = 0;
        for (const std::string& line : form_->Log().Lines()) {
            count += line.find(part) != std::string::npos ? 1U : 0U;
        }
        return count;
    }

    bool Lamp(const QColor& colour) const { return Box(1).Shape->BrushColor() == colour; }

    std::optional<ChildProcess> emulator_;
};

TEST_F(LineWatchTest, ASilentLineIsEndedWithinItsSilenceAndASecond) {
    StartWith(StallingScale(), "silence=1\r\n");
    ASSERT_TRUE(RunQtUntil([&] { return Logged(" << ") == 3; }));
    const auto quiet_since = std::chrono::steady_clock::now();
    ASSERT_TRUE(RunQtUntil([&] { return Lamp(kRed); }));
    EXPECT_LT(std::chrono::steady_clock::now() - quiet_since, std::chrono::seconds(2));
    EXPECT_FALSE(Box(1).BBconnect->isHidden());
    EXPECT_FALSE(form_->ClientSocket(1).Active());
    EXPECT_EQ(Logged(" !! Waga 1: no data for 1."), 1U);
    EXPECT_TRUE(toolkit_.error_boxes.empty());
}

TEST_F(LineWatchTest, WithoutTheSettingASilentLineStaysGreen) {
    StartWith(StallingScale(), "");
    ASSERT_TRUE(RunQtUntil([&] { return Logged(" << ") == 3; }));
    EXPECT_FALSE(RunQtUntil([&] { return !Lamp(kGreen); }, std::chrono::milliseconds(2500)));
    EXPECT_EQ(Shown(1), "1000");
}

TEST_F(LineWatchTest, ReconnectBringsTheReadingsBackOnceALineFellSilent) {
    StartWith(StallingScale(), "silence=1\r\nreconnect=1\r\n");
    ASSERT_TRUE(RunQtUntil([&] { return Logged(" << ") == 6; }, std::chrono::seconds(8)));
    EXPECT_EQ(Logged(" !! Waga 1: no data for"), 1U);
    EXPECT_EQ(Logged(" !! Waga 1: not connected, trying every 1 s"), 1U);
    EXPECT_TRUE(RunQtUntil([&] { return Lamp(kGreen); }));
}

TEST_F(LineWatchTest, RetriesGoOnUntilTheScaleIsBackAndAreSaidOnce) {
    std::optional<RefusingPort> refusing(std::in_place);
    const int port = refusing->Port();
    StartWith(port, "reconnect=1\r\n");
    RunQtUntil([] { return false; }, std::chrono::milliseconds(2500));  // two tries or more
    EXPECT_TRUE(Lamp(kRed));
    refusing.reset();  // the scale comes back where it was refused
    const Listener scale(port);
    ASSERT_TRUE(RunQtUntil([&] { return Lamp(kGreen); }, std::chrono::seconds(3)));
    EXPECT_EQ(Logged(" !! Waga 1: not connected, trying every 1 s"), 1U);
    EXPECT_TRUE(toolkit_.error_boxes.empty());
}

}  // namespace
}  // namespace station::test
