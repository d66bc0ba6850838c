// The ledger as the program it is, killed outright again and again while two stations' backlog
// flows: the database ends with exactly the registers' weighings.
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <thread>

#include <httplib.h>

#include "ledger/store/open_database.h"
#include "tests/ledger/ledger_fixture.h"

#include "ledger/page/plant_page.h"
#include "ledger/store/ledger_tables.h"

namespace station::test {
namespace {

using namespace std::chrono_literals;

class LedgerCrashTest : public LedgerFixture {
protected:
    // Waits with the stations' time running fast, a second per 20 ms, so that their minute
    // between replays passes in about a second; the ledgers, processes of their own, run in
    // real time.
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!loop_.RunUntil(done, 20ms)) {
            if (std::chrono::steady_clock::now() >= end) {
                return false;
            }
            loop_.Advance(1s);
        }
        return true;
    }

    // The settings of ledger `name`, in NAME.ini; `broker` adds to its section Broker, `more`
    // after the rest.
    void WriteSettings(const std::string& name = "ledger", const std::string& broker = "",
                       const std::string& more = "") {
        WriteFile(dir_ / (name + ".ini"),
                  "[Broker]\nbroker=127.0.0.1\nport=" + std::to_string(broker_.Port()) +
                      "\ntopic=plant\nclient_id=" + name + "\n" + broker + "[Baza]\nurl=" + Url() +
                      "\n[Odtwarzanie]\nfirst_month=202611\n" + more);
    }

    std::unique_ptr<ChildProcess> Ledger(const std::string& name = "ledger") {
        return std::make_unique<ChildProcess>(
            std::vector<std::string>{LEDGER_PROGRAM, "--config", dir_ / (name + ".ini")},
            dir_ / (name + ".log"), SIGTERM);
    }

    // The rows held, looked at no more often than every 100 ms while the loop runs.
    std::size_t Held() {
        const auto now = std::chrono::steady_clock::now();
        if (now - looked_ >= 100ms) {
            looked_ = now;
            held_ = std::stoul(Query("SELECT COUNT(*) FROM weighings")[0][0].value_or("0"));
        }
        return held_;
    }

    // Two stations with 20,000 weighings waiting; the ledger is killed `kills` times, each once
    // `rows` more are held, and started again at once; then it runs until it holds them all.
    // With `sealed`, room 1 signs its register and the ledger verifies seals: every one of its
    // weighings is stored verified, and the ledger's own check finds them all whole.
    void KillWhileABacklogFlows(int kills, std::size_t rows, bool sealed = false) {
        AddStation("room1", 5000, true);
        AddStation("room2", 5000, true);
        const Rows registers = Registers();
        ASSERT_EQ(registers.size(), 20000u);
        if (sealed) {
            SignRegisters("room1", NewKeyPair());
        }
        WriteSettings("ledger", "", sealed ? "[Podpisy]\nverify=on\n" : "");
        ledger::UpgradeSchema(*ledger::OpenDatabase(Url(), ""));  // to count from the start
        for (int kill = 0; kill < kills; ++kill) {
            const std::size_t before = Held();
            const auto ledger = Ledger();
            RunUntil([&] { return Held() >= before + rows; }, 10s);
            ledger->End(SIGKILL);
            RecordProperty("held_at_kill_" + std::to_string(kill), static_cast<int>(held_));
        }
        EXPECT_LT(Held(), registers.size()) << "the kills came while the backlog flowed";
        const auto ledger = Ledger();
        ASSERT_TRUE(RunUntil([&] { return Held() == registers.size(); }, 90s))
            << Held() << " of " << registers.size() << "\n"
            << ReadFile(dir_ / "ledger.log");
        EXPECT_EQ(Weighings(), registers);
        if (sealed) {
            EXPECT_EQ(Query("SELECT COUNT(*) FROM weighings WHERE seal IS NOT NULL AND "
                            "station = 'room1'")[0][0],
                      "10000");
            EXPECT_TRUE(RunToEnd({LEDGER_PROGRAM, "--verify", "--config", dir_ / "ledger.ini"},
                                 dir_ / "verify.out"))
                << ReadFile(dir_ / "verify.out");
            EXPECT_EQ(ReadFile(dir_ / "verify.out"), "verified: 10000, failed: 0\n");
        }
    }

    std::chrono::steady_clock::time_point looked_;
    std::size_t held_ = 0;
};

TEST_P(LedgerCrashTest, KilledFiveTimesWhileABacklogFlowsItEndsWithExactlyTheRegisters) {
    KillWhileABacklogFlows(5, 1500);
}

// Starts within one second of each other still ask anew: each start's replay brings back what
// the killed one had taken from the broker and not written; a signing room's weighings, every one
// verified.
TEST_P(LedgerCrashTest, KilledThreeTimesWithinTwoSecondsItEndsWithExactlyTheRegisters) {
    KillWhileABacklogFlows(3, 500, true);
}

// The ledger in this process while a backlog flows: the database goes away (PostgreSQL stopped;
// the SQLite file unable to grow, as on a full disk) or the broker restarts, and comes back.
// Meanwhile the page still hears the rooms' states, and that the broker is reached.
TEST_P(LedgerCrashTest, ADatabaseOrABrokerAwayMidFlowLosesNothing) {
    AddStation("room1", 1500, true);
    AddStation("room2", 1500, true);
    const Rows registers = Registers();
    ledger::HealthBoard health;
    std::size_t heard_while_away = 0;  // states the page was given while the database was away
    const auto ledger = std::make_unique<ledger::Ledger>(
        loop_, Settings(), [this](const std::string& line) { ledger_log_.push_back(line); },
        [&](const ledger::Batch& batch) {
            heard_while_away += health.Snapshot().database_open ? 0 : batch.states.size();
        },
        ledger::Ledger::Startup{}, &health);
    ASSERT_TRUE(RunUntil([&] { return Held() >= 1000; }, 30s));
    if (cluster_) {
        cluster_->Stop();
    } else {
        // Writes past the first 64 KiB of a file fail with EFBIG, which SQLite reports as a full
        // disk, once the write-ahead log reaches that far again (it is written from its start
        // after each checkpoint); the station's small files are not held up. The signal that
        // would end the process is ignored.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit full{rlim_t{64} * 1024, RLIM_INFINITY};
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &full), 0);
    }
    ASSERT_TRUE(RunUntil(
        [&] {
            return std::any_of(ledger_log_.begin(), ledger_log_.end(),
                               [](const auto& line) { return line.starts_with("database: "); });
        },
        30s));
    if (cluster_) {  // (SQLite on a full disk opens again at once, and is away only as it writes)
        ASSERT_TRUE(RunUntil([&] { return heard_while_away > 0; }, 10s));
        EXPECT_TRUE(health.Snapshot().broker_connected);
        cluster_->Start();
    } else {
        const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &unlimited), 0);
    }
    ASSERT_TRUE(RunUntil([&] { return Held() >= 4000; }, 30s));
    broker_.Stop();
    ASSERT_TRUE(broker_.Start());
    ASSERT_TRUE(RunUntil([&] { return Held() == registers.size(); }, 60s)) << Held();
    EXPECT_EQ(Weighings(), registers);
    EXPECT_EQ(std::count_if(ledger_log_.begin(), ledger_log_.end(),
                            [](const auto& line) { return line.starts_with("database: "); }),
              1)
        << "said once";
}

// Two ledgers on one PostgreSQL share the weighings through the broker; one is killed mid-flow
// and started again, as its service would be: every weighing is held, once.
using LedgerShareTest = LedgerCrashTest;
TEST_P(LedgerShareTest, TwoLedgersShareTheFlowAndAKilledOneIsHarmless) {
    AddStation("room1", 2000, true);
    AddStation("room2", 2000, true);
    const Rows registers = Registers();
    ledger::UpgradeSchema(*ledger::OpenDatabase(Url(), ""));
    WriteSettings("first", "share=plant\n");
    WriteSettings("second", "share=plant\n");
    const auto second = Ledger("second");
    auto first = Ledger("first");
    ASSERT_TRUE(RunUntil([&] { return Held() >= 2000; }, 30s));
    first->End(SIGKILL);
    ASSERT_TRUE(RunUntil([&] { return Held() >= 4000; }, 30s)) << "the second goes on alone";
    first = Ledger("first");
    ASSERT_TRUE(RunUntil([&] { return Held() == registers.size(); }, 60s)) << Held();
    EXPECT_EQ(Weighings(), registers);
    EXPECT_NE(ReadFile(dir_ / "second.log").find("started"), std::string::npos);
}

// A quiet plant: nothing is written, and still the health learns that PostgreSQL stopped, and
// that it is back, without a weighing to find it out.
using LedgerQuietTest = LedgerCrashTest;
TEST_P(LedgerQuietTest, ALedgerWithNothingToWriteLearnsThatItsDatabaseWentAwayAndCameBack) {
    ledger::HealthBoard health;
    const auto ledger = std::make_unique<ledger::Ledger>(
        loop_, Settings(), [this](const std::string& line) { ledger_log_.push_back(line); },
        nullptr, ledger::Ledger::Startup{}, &health);
    const auto open = [&] { return health.Snapshot().database_open; };
    ASSERT_TRUE(RunUntil(open, 10s));
    cluster_->Stop();
    ASSERT_TRUE(RunUntil([&] { return !open(); }, 10s));
    cluster_->Start();
    ASSERT_TRUE(RunUntil(open, 30s));
}

// PostgreSQL with a standby that streams asynchronously, the ledger and the page given both
// hosts: the standby is stopped (falls behind), the primary takes more weighings and is killed,
// the standby is promoted. The ledger goes on there by itself, the replay brings back what only
// the old primary had, and the page answers again within 10 s.
using DatabaseFailoverTest = LedgerCrashTest;
TEST_P(DatabaseFailoverTest, TheLedgerAndThePageFollowAPromotedStandbyAndLoseNothing) {
    PostgresCluster standby(PostgresCluster::StandbyOf{*cluster_});
    auto settings = Settings();
    settings.database_url = "postgresql:///postgres?host=" + cluster_->SocketFolder() + "," +
                            standby.SocketFolder() +
                            "&user=postgres&target_session_attrs=read-write";
    Station& room = AddStation("room1", 200, true);
    const auto ledger = std::make_unique<ledger::Ledger>(
        loop_, settings, [this](const std::string& line) { ledger_log_.push_back(line); }, nullptr,
        ledger::Ledger::Startup{}, &health_);
    ASSERT_TRUE(RunUntil([&] { return Weighings() == Registers(); }, 30s));
    ledger::PageSettings page_settings;
    page_settings.port = 0;
    page_settings.files = PAGE_FILES;
    const ledger::PlantPage page(page_settings, settings.database_url, "", &health_);
    httplib::Client client("127.0.0.1", page.Port());

    standby.Stop();
    for (int i = 0; i < 100; ++i) {
        AppendLineToFile(room.dir / "202612.txt",
                         ComposeRegisterLine({2026, 12, 9, 8, 0, i % 60, 0}, ':', 1, "new"));
        room.publisher->WeighingSaved();
    }
    const Rows registers = Registers();
    ASSERT_TRUE(RunUntil([&] { return Weighings() == registers; }, 30s));
    cluster_->Kill();
    standby.Start();
    standby.Promote();
    const auto promoted = std::chrono::steady_clock::now();
    const auto on_standby = [&] {
        Rows rows;
        for (const ledger::Row& row : ledger::OpenDatabase(settings.database_url, "")
                                          ->Query("SELECT id, line FROM weighings", {})) {
            rows[row[0].value_or("")] = row[1].value_or("");
        }
        return rows;
    };
    ASSERT_LT(on_standby().size(), registers.size()) << "acknowledged, never replicated";
    while (client.Get("/api/day?day=2026-12-09")->status != 200) {
        ASSERT_LT(std::chrono::steady_clock::now() - promoted, 10s);
        std::this_thread::sleep_for(100ms);
    }

    ASSERT_TRUE(RunUntil([&] { return on_standby() == registers; }, 60s))
        << testing::PrintToString(ledger_log_);
    const ledger::LedgerHealth health = health_.Snapshot();
    EXPECT_EQ(health.database_server, standby.SocketFolder() + ":5432");
    EXPECT_EQ(health.database_failovers, 1u);
    EXPECT_NE(ledger::HealthMetrics(health, 0).find("tarvelio_ledger_database_failovers_total 1"),
              std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Databases, DatabaseFailoverTest, ::testing::Values("postgresql"),
                         DatabaseName);
INSTANTIATE_TEST_SUITE_P(Databases, LedgerShareTest, ::testing::Values("postgresql"), DatabaseName);
INSTANTIATE_TEST_SUITE_P(Databases, LedgerQuietTest, ::testing::Values("postgresql"), DatabaseName);

INSTANTIATE_TEST_SUITE_P(Databases, LedgerCrashTest, ::testing::Values("sqlite", "postgresql"),
                         DatabaseName);

}  // namespace
}  // namespace station::test
