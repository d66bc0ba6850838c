// The station model without any toolkit, against a real peer on 127.0.0.1 and the poll loop,
// whose time the timing rules follow: what every observer hears, what a save writes, and a line
// that falls silent and comes back.
#include <gtest/gtest.h>

#include "base/poll_loop.h"
#include "core/text/number_text.h"
#include "service/station_model.h"
#include "tests/core/fakes.h"
#include "tests/net/net_fixtures.h"
#include "tests/support/station_directory.h"

namespace station::test {
namespace {

using namespace std::chrono_literals;

// Writes down what it is told, one line a change.
class Recorder final : public StationObserver {
public:
    void ReadingShown(int scale, const Reading& reading) override {
        Add(scale, "shows " + reading.Text());
    }
    void LampShown(int scale, Lamp lamp) override {
        Add(scale, lamp == Lamp::kGreen ? "green" : lamp == Lamp::kYellow ? "yellow" : "red");
    }
    void ConnectOffered(int scale, bool offered) override {
        Add(scale, offered ? "offers połącz" : "hides połącz");
    }
    void WeighingSaved() override { Add(0, "saved"); }

    std::vector<std::string> said;

private:
    void Add(int scale, const std::string& what) {
        said.push_back(std::to_string(scale) + " " + what);
    }
};

class StationModelTest : public ::testing::Test {
protected:
    StationModelTest() { PrepareStationDirectory(dir_); }

    // Scale 1 on the listener, the others where nothing listens; `reading` is section Odczyt.
    void Start(const std::string& reading = "") {
        std::string settings = "[Polaczenie]\r\n";
        for (int n = 1; IsScaleNumber(n); ++n) {
            settings += "port" + std::to_string(n) + "=" +
                        std::to_string(n == 1 ? server_.Port() : refusing_.Port()) + "\r\n";
        }
        WriteFile(dir_ / "dane/konfig.ini", settings + "[Odczyt]\r\n" + reading);
        model_.emplace(loop_, clock_, StationFiles{dir_ / "dane", dir_ / "dane/konfig.ini"});
        model_->AddObserver(first_);
        model_->AddObserver(second_);
        model_->Start();
    }

    // Connects scale 1 and returns the accepted peer.
    int Connect() {
        model_->Connect(1);
        const int peer = server_.Accept();
        EXPECT_TRUE(loop_.RunUntil([&] { return model_->LampOf(1) == Lamp::kGreen; }, 5s));
        return peer;
    }

    TempDir dir_;
    FakeClock clock_;
    PollLoop loop_;
    net::test::Listener server_;
    const RefusingPort refusing_;
    Recorder first_;
    Recorder second_;
    std::optional<StationModel> model_;
};

TEST_F(StationModelTest, EveryObserverHearsEveryChangeAndASaveTakesTheReadingShown) {
    Start();
    const int peer = Connect();
    net::test::SendAll(peer, "  12.4 kg\r\n");
    ASSERT_TRUE(loop_.RunUntil([&] { return model_->Shown(1).Text() == "12"; }, 5s));
    net::test::SendAll(peer, "  1 kg\r\n  -7,5 kg\r");  // one read: its last reading is told
    ASSERT_TRUE(loop_.RunUntil([&] { return model_->Shown(1).Text() == "-8"; }, 5s));
    EXPECT_EQ(model_->LastLine(1), "  -7,5 kg");
    model_->Save(1);
    model_->Save(2);  // nothing yet
    EXPECT_EQ(ReadFile(dir_ / "dane/202612.txt"),
              "2026-12-07, 14:03:07\twaga1\t-8\r\n2026-12-07, 14:03:07\twaga2\t- - - - -\r\n");
    EXPECT_EQ(first_.said,
              (std::vector<std::string>{"1 yellow", "1 green", "1 hides połącz", "1 shows 12",
                                        "1 shows -8", "0 saved", "0 saved"}));
    EXPECT_EQ(second_.said, first_.said);
    close(peer);
    ASSERT_TRUE(loop_.RunUntil([&] { return model_->LampOf(1) == Lamp::kRed; }, 5s));
    EXPECT_EQ(first_.said.back(), "1 offers połącz");
}

TEST_F(StationModelTest, ASilentLineEndsAfterItsSilenceAndIsConnectedAgainAfterItsInterval) {
    Start("silence=3\r\nreconnect=5\r\n");
    const int peer = Connect();
    loop_.Advance(2900ms);
    EXPECT_EQ(model_->LampOf(1), Lamp::kGreen);
    loop_.Advance(200ms);
    EXPECT_EQ(model_->LampOf(1), Lamp::kRed);
    EXPECT_EQ(model_->Log().Lines().back(),
              "14-03-07.045 1  !! Waga 1: no data for 3.0 s, connection ended");
    close(peer);
    loop_.Advance(4800ms);  // 7.9 s in; the line ended at 3.0 s
    EXPECT_EQ(model_->LampOf(1), Lamp::kRed);
    loop_.Advance(200ms);
    const int again = server_.Accept();
    ASSERT_TRUE(loop_.RunUntil([&] { return model_->LampOf(1) == Lamp::kGreen; }, 5s));
    EXPECT_EQ(model_->Log().Lines().back(),
              "14-03-07.045 1  !! Waga 1: not connected, trying every 5 s");
    close(again);
}

TEST_F(StationModelTest, StartUpReadsTheSettingsFileAndEmptiesTheBuffers) {
    Start();
    const int peer = Connect();
    net::test::SendAll(peer, "12");
    ASSERT_TRUE(loop_.RunUntil([&] { return model_->Received(1).line == "12"; }, 5s));
    model_->Step(35);
    WriteFile(dir_ / "dane/konfig.ini",
              "[Polaczenie]\r\naddress1=10.0.0.7\r\nport1=4001\r\naddress2=\r\nport3=-5\r\n");
    model_->Start();
    EXPECT_EQ(model_->Received(1).line, "");
    EXPECT_EQ(model_->SimulatedValue(), 0);
    EXPECT_EQ(model_->DecimalSeparator(), DetectDecimalSeparator());
    const ConnectionSettings& read = model_->Connections();
    EXPECT_EQ(read.addresses,
              (std::array<std::string, kScaleCount>{"10.0.0.7", "", "127.0.0.1", "127.0.0.1"}));
    EXPECT_EQ(read.ports, (std::array<int, kScaleCount>{4001, 2002, -5, 2004}));
    close(peer);
}

}  // namespace
}  // namespace station::test
