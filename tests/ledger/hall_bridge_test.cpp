// A hall's broker bridged to the ledger's by the README's drop-in, the link between them through
// a relay the test cuts and heals, as a link between buildings drops.
#include "tests/ledger/ledger_fixture.h"
#include "tests/support/readme_hall.h"
#include "tests/support/tcp_relay.h"

namespace station::test {
namespace {

using namespace std::chrono_literals;

class HallBridgeTest : public LedgerFixture {};

// The hall's station saves 500 weighings while its hall is cut off; once the link heals, every
// one reaches the database. The ledger's replay request reaches the station through the bridge,
// and the ledger says when the hall was cut off and when it was back.
TEST_P(HallBridgeTest, AHallCutOffSavesOnAndLosesNothingWhenItsLinkHeals) {
    TcpRelay link(broker_.Port());
    const std::string drop_in = ReadmeHallDropIn(README_FILE, "hall1", link.Port(), "plant");
    ASSERT_NE(drop_in.find("cleansession false"), std::string::npos) << "no drop-in in the README";
    MqttBroker hall("allow_anonymous true\n" + drop_in);
    Station& room = AddStation("room1", 50, true, hall.Port());
    auto settings = Settings();
    settings.follow_halls = true;
    ledger_ = std::make_unique<ledger::Ledger>(
        loop_, settings, [this](const std::string& line) { ledger_log_.push_back(line); }, nullptr,
        ledger::Ledger::Startup{}, &health_);
    const auto linked = [&]() -> std::optional<bool> {
        const auto halls = health_.Snapshot().halls;
        const auto found = halls.find("hall1");
        return found != halls.end() ? std::optional(found->second.connected) : std::nullopt;
    };
    const auto replays_honoured = [&] {
        return ReadFile(room.dir / "publikacja.odtworzenie").size();
    };
    ASSERT_TRUE(RunUntil(
        [&] { return linked() == true && replays_honoured() > 0 && Weighings() == Registers(); },
        30s))
        << hall.Log();

    link.Cut();
    ASSERT_TRUE(RunUntil([&] { return linked() == false; }, 10s));
    const ledger::LedgerHealth cut = health_.Snapshot();
    EXPECT_NE(ledger::HealthJson(cut).find(R"("halls":{"hall1":"cut off"})"), std::string::npos);
    EXPECT_NE(
        ledger::HealthMetrics(cut, 0).find("tarvelio_ledger_hall_connected{hall=\"hall1\"} 0"),
        std::string::npos);
    // `count` weighings saved on `day`, until the hall's broker has taken them all.
    const auto save = [&](int count, int day) {
        for (int i = 0; i < count; ++i) {
            AppendLineToFile(room.dir / "202612.txt",
                             ComposeRegisterLine({2026, 12, day, 8, i / 60, i % 60, 0}, ':',
                                                 1 + i % 4, std::to_string(1000 + i)));
            room.publisher->WeighingSaved();
            loop_.RunOnce(0ms);
        }
        const RegisterPosition end = RegisterEnd(room.dir.Path());
        return RunUntil(
            [&] {
                return ReadFile(room.dir / "publikacja.stan") ==
                       end.FileName() + " " + std::to_string(end.offset) + "\n";
            },
            20s);
    };
    ASSERT_TRUE(save(500, 9)) << "the hall's broker took them all";
    const Rows registers = Registers();
    EXPECT_EQ(Weighings().size(), registers.size() - 500) << "none crossed the cut";

    link.Heal();
    ASSERT_TRUE(RunUntil([&] { return linked() == true && Weighings() == registers; }, 60s))
        << Weighings().size() << " of " << registers.size();
    const auto said = [&](const std::string& start) {
        return std::count_if(ledger_log_.begin(), ledger_log_.end(),
                             [&](const std::string& line) { return line.starts_with(start); });
    };
    EXPECT_EQ(said("hall hall1: its broker's bridge is cut off"), 1);
    EXPECT_EQ(said("hall hall1: its broker's bridge is back after"), 1);

    // Cut off again, and the hall's broker killed with the 100 weighings it held for the link:
    // once the link is back, the ledger asks the stations again, and the room sends them.
    link.Cut();
    ASSERT_TRUE(RunUntil([&] { return linked() == false; }, 10s));
    ASSERT_TRUE(save(100, 10));
    const Rows after_kill = Registers();
    hall.Kill();
    ASSERT_TRUE(hall.Start());
    link.Heal();
    PassMinute();  // the station's minute between replays
    ASSERT_TRUE(RunUntil(
        [&] {
            loop_.Advance(1s);
            return Weighings() == after_kill;
        },
        60s))
        << Weighings().size() << " of " << after_kill.size();
}

INSTANTIATE_TEST_SUITE_P(Databases, HallBridgeTest, ::testing::Values("sqlite"), DatabaseName);

}  // namespace
}  // namespace station::test
