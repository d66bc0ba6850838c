// Lines that fall silent, and lines connected again by the station itself: the scale emulator
// stops sending on an open connection after a few lines.
#include "tests/service/station_model_fixture.h"
#include "tests/support/child_process.h"

namespace station::test {
namespace {

class LineWatchTest : public StationModelTest {
protected:
    // Starts the station with scale 1 at `port`, connecting every scale as the window's first
    // activation does, and `reading` as its section "Odczyt".
    void StartWith(int port, const std::string& reading) {
        ports_[0] = port;
        Start(reading);
        for (int n = 1; IsScaleNumber(n); ++n) {
            model_->Connect(n);
        }
    }

    // An emulated scale that sends three lines on each connection and then nothing; its port.
    int StallingScale() {
        emulator_.emplace(std::vector<std::string>{EMULATOR_PROGRAM, "--scales", "1", "--port", "0",
                                                   "--rate", "20", "--fault", "stall-after=3"},
                          dir_ / "emulator.out");
        // "scale 1: 127.0.0.1:PORT" once it listens.
        const std::string listening = "127.0.0.1:";
        std::string out;
        EXPECT_TRUE(loop_.RunUntil(
            [&] {
                out = ReadFile(dir_ / "emulator.out");
                return out.find('\n') != std::string::npos;
            },
            5s));
        const std::size_t at = out.find(listening);
        return at == std::string::npos ? 0 : std::stoi(out.substr(at + listening.size()));
    }

    bool LampIs(Lamp colour) const { return model_->LampOf(1) == colour; }

    std::optional<ChildProcess> emulator_;
};

TEST_F(LineWatchTest, ASilentLineIsEndedWithinItsSilenceAndASecond) {
    StartWith(StallingScale(), "silence=1\r\n");
    ASSERT_TRUE(loop_.RunUntil([&] { return Logged(" << ") == 3; }, 5s));
    const auto quiet_since = std::chrono::steady_clock::now();
    ASSERT_TRUE(loop_.RunUntil([&] { return LampIs(Lamp::kRed); }, 5s));
    EXPECT_LT(std::chrono::steady_clock::now() - quiet_since, std::chrono::seconds(2));
    EXPECT_EQ(first_.said.back(), "1 offers połącz");
    EXPECT_FALSE(model_->ClientSocket(1).Active());
    EXPECT_EQ(Logged(" !! Waga 1: no data for 1."), 1U);
}

TEST_F(LineWatchTest, WithoutTheSettingASilentLineStaysGreen) {
    StartWith(StallingScale(), "");
    ASSERT_TRUE(loop_.RunUntil([&] { return Logged(" << ") == 3; }, 5s));
    EXPECT_FALSE(loop_.RunUntil([&] { return !LampIs(Lamp::kGreen); }, 2500ms));
    EXPECT_EQ(Shown(1), "1000");
}

TEST_F(LineWatchTest, ReconnectBringsTheReadingsBackOnceALineFellSilent) {
    StartWith(StallingScale(), "silence=1\r\nreconnect=1\r\n");
    ASSERT_TRUE(loop_.RunUntil([&] { return Logged(" << ") == 6; }, 8s));
    EXPECT_EQ(Logged(" !! Waga 1: no data for"), 1U);
    EXPECT_EQ(Logged(" !! Waga 1: not connected, trying every 1 s"), 1U);
    EXPECT_TRUE(loop_.RunUntil([&] { return LampIs(Lamp::kGreen); }, 5s));
}

TEST_F(LineWatchTest, RetriesGoOnUntilTheScaleIsBackAndAreSaidOnce) {
    std::optional<RefusingPort> refusing(std::in_place);
    const int port = refusing->Port();
    StartWith(port, "reconnect=1\r\n");
    loop_.RunUntil([] { return false; }, 2500ms);  // two tries or more
    EXPECT_TRUE(LampIs(Lamp::kRed));
    refusing.reset();  // the scale comes back where it was refused
    const net::test::Listener scale(port);
    ASSERT_TRUE(loop_.RunUntil([&] { return LampIs(Lamp::kGreen); }, 3s));
    EXPECT_EQ(Logged(" !! Waga 1: not connected, trying every 1 s"), 1U);
}

}  // namespace
}  // namespace station::test
