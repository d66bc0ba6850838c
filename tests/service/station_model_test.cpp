// The station model without any toolkit, against a real peer on 127.0.0.1 and the poll loop,
// whose time the timing rules follow: what every observer hears, what a save writes, and a line
// that falls silent and comes back.
#include <filesystem>

#include "core/text/number_text.h"
#include "tests/service/station_model_fixture.h"

namespace station::test {
namespace {

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

// A line gathers across reads and ends within one; a connection's unfinished line is its own.
TEST_F(StationModelTest, LinesAreFramedAcrossAndWithinReadEvents) {
    ports_[3] = server_.Port();
    Start();
    const int peer = Connect(4);
    SendAndWait(peer, 4, "  12");
    SendAndWait(peer, 4, "34.");
    EXPECT_EQ(Shown(4), "- - - - -");
    SendAndWait(peer, 4, "6 kg\r\n");
    EXPECT_EQ(Shown(4), "1235");
    const std::size_t logged = model_->Log().LineCount();
    SendAndWait(peer, 4, "1\r2\r-3,4\r");
    EXPECT_EQ(Shown(4), "-3");
    EXPECT_EQ(model_->Log().LineCount(), logged + 3);
    close(peer);
}

// Bytes that make no frame of the scale's format leave no stale weight on show: after three
// frames' time "#err", which a save takes and the live state explains, until a frame reads.
TEST_F(StationModelTest, BytesThatMakeNoFrameShowNoWeightAfterThreeFramesTime) {
    Start("format1=csv-status\r\n");
    const int peer = Connect();
    SendAndWait(peer, 1, "ST,GS,+00250.0kg\r\n");
    loop_.Advance(100ms);
    SendAndWait(peer, 1, "ST,GS,+00251.0kg\r\n");
    loop_.Advance(200ms);
    SendAndWait(peer, 1, "ST,GS,+0030");  // a frame under way, within three frames' time
    EXPECT_EQ(Shown(1), "251");
    loop_.Advance(200ms);
    SendAndWait(peer, 1, "0.0kg|");
    EXPECT_EQ(Shown(1), "#err");
    EXPECT_TRUE(model_->Shown(1).no_frame);
    model_->Save(1);
    EXPECT_EQ(ReadFile(dir_ / "dane/202612.txt"), "2026-12-07, 14:03:07\twaga1\t#err\r\n");
    SendAndWait(peer, 1, "\r\nST,GS,+00252.0kg\r\n");
    EXPECT_EQ(Shown(1), "252");
    EXPECT_FALSE(model_->Shown(1).no_frame);
    close(peer);
}

// Frames with no end byte, arriving byte by byte: one that grows wider is never shown cut
// short at the width before, and the last is read once the line falls quiet.
TEST_F(StationModelTest, FramesWithoutAnEndAreReadWholeWhateverTheirWidth) {
    Start("format1=equals\r\n");
    const int peer = Connect();
    for (const char c : std::string("=0.51000=0.520001")) {
        SendAndWait(peer, 1, std::string(1, c));
        EXPECT_NE(Shown(1), "25");  // the wider frame's first eight bytes
    }
    EXPECT_EQ(Shown(1), "15");
    loop_.Advance(100ms);
    EXPECT_EQ(Shown(1), "100025");
    SendAndWait(peer, 1, "=0.530001=");
    EXPECT_EQ(Shown(1), "100035");
    close(peer);
}

TEST_F(StationModelTest, ALineCutByAnEndedConnectionIsDroppedNotGluedToTheNextOne) {
    ports_[1] = server_.Port();
    Start();
    const int first = Connect(2);
    SendAndWait(first, 2, "  1000 kg\r");
    SendAndWait(first, 2, "  55");
    close(first);
    ASSERT_TRUE(loop_.RunUntil([&] { return model_->LampOf(2) == Lamp::kRed; }, 5s));
    const int second = Connect(2);
    SendAndWait(second, 2, "  20");
    EXPECT_EQ(Shown(2), "1000");  // within one connection a line still gathers across reads
    SendAndWait(second, 2, "00 kg\r");
    EXPECT_EQ(Shown(2), "2000");
    clock_.now = {2026, 12, 6, 19, 21, 7, 0};
    model_->Save(2);
    EXPECT_EQ(ReadFile(dir_ / "dane/202612.txt"), "2026-12-06, 19:21:07\twaga2\t2000\r\n");
    const std::vector<std::string> log = model_->Log().Lines();
    EXPECT_EQ(std::count(log.begin(), log.end(),
                         "14-03-07.045 2  !! Waga 2: 4 bytes of a line cut by the previous "
                         "connection dropped"),
              1);
    close(second);
}

TEST_F(StationModelTest, EmptyAddressEndsRedAtOnceWithoutAMessage) {
    addresses_[0] = "";
    Start();
    const std::size_t logged = model_->Log().LineCount();
    model_->Connect(1);
    EXPECT_EQ(model_->LampOf(1), Lamp::kRed);
    EXPECT_EQ(std::count(first_.said.begin(), first_.said.end(), "1 hides połącz"), 0);
    EXPECT_EQ(model_->Log().LineCount(), logged);
}

// The simulators decode as live data does, but never touch a scale's unfinished line.
TEST_F(StationModelTest, SimulatedLinesAndStepsLeaveAScalesUnfinishedLineAlone) {
    Start();
    const int peer = Connect();
    SendAndWait(peer, 1, "12");
    model_->SimulateLine(2, "3");
    EXPECT_EQ(Shown(2), "3");
    SendAndWait(peer, 1, "5\r");
    EXPECT_EQ(Shown(1), "125");

    SendAndWait(peer, 1, "4");
    model_->Step(5);
    EXPECT_EQ(Shown(1), "5");
    SendAndWait(peer, 1, "2\r");
    EXPECT_EQ(Shown(1), "42");
    close(peer);
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

// With signing on: the key made once, readable by the station's user alone; the month checked at
// the start and after each save, and a line changed on disk named at the next save.
TEST_F(StationModelTest, SigningChecksTheMonthAtStartAndAfterEachSaveAndNamesABreak) {
    const std::string key = dir_ / "dane/klucz.podpisu";
    Start("[Podpisy]\r\nsign=on\r\nkey=" + key + "\r\n");
    std::vector<std::string> statuses;
    model_->StartSigning([&](const std::string& status) { statuses.push_back(status); });
    EXPECT_EQ(std::filesystem::status(key).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_NE(model_->Log()
                  .Lines()
                  .at(model_->Log().Lines().size() - 2)
                  .find("signing: key " + model_->SigningKeyFingerprint() + " (public "),
              std::string::npos);
    model_->Save(1);
    model_->Save(2);
    EXPECT_EQ(statuses, std::vector<std::string>(3, "Podpisy: 202612.txt zgodny"));
    EXPECT_NE(model_->Log().Lines().back().find("signing: 202612.txt: 2 lines verified"),
              std::string::npos);
    std::string month = ReadFile(dir_ / "dane/202612.txt");
    month.replace(month.find("waga1"), 5, "waga3");
    WriteFile(dir_ / "dane/202612.txt", month);
    model_->Save(1);
    EXPECT_EQ(statuses.back(), "Podpisy: 202612.txt naruszony w wierszu 1 (zmieniony)");
    EXPECT_NE(model_->Log().Lines().back().find("signing: 202612.txt: line 1 altered"),
              std::string::npos);
}

}  // namespace
}  // namespace station::test
