// A signing room's weighings through a real broker into each database, with seals verified.
#include <sys/wait.h>

#include <gtest/gtest.h>
#include <httplib.h>

#include "common/weighing_chain.h"
#include "core/register/register_signer.h"
#include "ledger/page/plant_page.h"
#include "protocol/weighing.h"
#include "tests/ledger/ledger_fixture.h"

namespace station::test {
namespace {

using namespace std::chrono_literals;

class LedgerSealTest : public LedgerFixture {
protected:
    // A room whose station signs: `count` weighings saved by its own register, none sent yet.
    KeyPair SignedRoom(const std::string& name, int count) {
        auto& station = stations_[name];
        station = std::make_unique<Station>();
        const KeyPair key = NewKeyPair();
        RegisterSigner signer(station->dir.Path(), key);
        FakeClock clock;
        WeighingRegister weighings(clock, ':', station->dir.Path());
        weighings.SignWith(&signer);
        for (int i = 0; i < count; ++i) {
            clock.now = {2026, 12, 3, 10, i / 60 % 60, i % 60, 0};
            weighings.SaveWeighing(1 + i % 4, std::to_string(100 + i));
        }
        WriteFile(station->dir / "publikacja.stan", " 0\n");
        return key;
    }

    void StartVerifyingLedger() {
        ledger::LedgerSettings settings = Settings();
        settings.verify_seals = true;
        ledger_ = std::make_unique<ledger::Ledger>(
            loop_, settings, [this](const std::string& line) { ledger_log_.push_back(line); },
            ledger::Ledger::WrittenSink{}, ledger::Ledger::Startup{}, &health_);
    }

    // The ledger program's own check of every seal stored: its exit status and what it printed.
    std::pair<int, std::string> VerifyProgram() {
        WriteFile(dir_ / "ledger.ini",
                  "[Broker]\nbroker=127.0.0.1\n[Baza]\nurl=" + Url() + "\n[Podpisy]\nverify=on\n");
        std::filesystem::remove(dir_ / "v.out");  // the program's output is appended
        const int status = WaitFor(
            Spawn({LEDGER_PROGRAM, "--verify", "--config", dir_ / "ledger.ini"}, dir_ / "v.out"));
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(dir_ / "v.out")};
    }

    std::uint64_t Count(const char* sql) const { return std::stoull(*Query(sql).at(0).at(0)); }
};

// A stranger's weighing with the room's good id and key but a signature of its own goes to
// rejected, and the room's own is stored verified; the page shows that room broken at the
// stranger's line and another verified; what a lost database's replay brings is verified too;
// and a row altered in the database afterwards is found by the ledger's check.
TEST_P(LedgerSealTest, OnlyTheRoomsOwnSealedWeighingsAreStoredAndAlteredRowsAreFound) {
    constexpr int kWeighings = 300;
    const KeyPair key = SignedRoom("a", kWeighings);
    SignedRoom("b", 1);
    ledger::PageSettings page_settings;
    page_settings.port = 0;
    page_settings.files = PAGE_FILES;
    const ledger::PlantPage page(page_settings, Url(), "", &health_);
    StartVerifyingLedger();
    ASSERT_TRUE(RunUntil([&] { return health_.Snapshot().broker_connected; }, 10s));

    const KeyPair stranger = NewKeyPair();
    protocol::Weighing forged{.id = {"c-a", *Month::Of(2026, 12), 0},
                              .scale = 1,
                              .reading = "999",
                              .time = "2026-12-03T10:00:00+01:00",
                              .line = "2026-12-03, 10:00:00\twaga1\t999",
                              .after = std::nullopt,
                              .next = std::nullopt,
                              .seal = std::nullopt};
    LineSeal seal{.key = key.public_key};
    seal.link = NextLink(seal.previous, forged.id.month, 0, forged.line);
    seal.signature = SignLink(stranger.secret_key, seal.link);
    forged.seal = seal;
    ASSERT_TRUE(
        RunToEnd({"mosquitto_pub", "-h", "127.0.0.1", "-p", std::to_string(broker_.Port()), "-t",
                  "plant/a/waga1/weighing", "-m", protocol::WriteWeighing(forged), "-q", "1"},
                 dir_ / "forged.log"));
    const auto failed = [&] { return health_.Snapshot().seals_failed; };
    ASSERT_TRUE(RunUntil([&] { return failed() == 1; }, 10s));

    StartPublisher("a");
    StartPublisher("b");
    ASSERT_TRUE(RunUntil([&] { return Weighings().size() == kWeighings + 1; }, 60s));
    StopStationsAndDrain();
    EXPECT_EQ(Weighings(), Registers());
    EXPECT_EQ(Count("SELECT count(*) FROM weighings WHERE seal IS NULL"), 0U);
    if (GetParam() == "sqlite") {  // the page is the same over either
        const pid_t check = Spawn({"/usr/bin/python3", SEAL_PAGE_CHECK,
                                   "http://127.0.0.1:" + std::to_string(page.Port()) + "/", "a",
                                   "· podpisy naruszone od ważenia c-a/202612/0", "b",
                                   "· podpisy zgodne (klucz z pierwszego ważenia)"},
                                  dir_ / "page.out");
        int status = -1;
        ASSERT_TRUE(RunUntil([&] { return waitpid(check, &status, WNOHANG) == check; }, 60s));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << ReadFile(dir_ / "page.out");
        // The day's exports hold the seals, and an auditor checks each against room a's key.
        httplib::Client client("127.0.0.1", page.Port());
        for (const std::string kind : {"csv", "xlsx"}) {
            const auto day = client.Get("/api/export." + kind + "?from=2026-12-03&to=2026-12-03");
            ASSERT_TRUE(day && day->status == 200);
            WriteFile(dir_ / ("day." + kind), day->body);
            EXPECT_TRUE(RunToEnd(
                {VERIFY_PROGRAM, "--key", Hex(key.public_key), "--export", dir_ / ("day." + kind)},
                dir_ / (kind + ".out")));
            EXPECT_EQ(ReadFile(dir_ / (kind + ".out")),
                      "day." + kind + ": 300 weighings verified, 0 failed, 1 of other keys\n");
        }
    }
    EXPECT_EQ(Count("SELECT count(*) FROM rejected WHERE kind = 'a seal that does not verify' "
                    "AND reason LIKE '%signature does not verify%'"),
              1U);
    EXPECT_EQ(health_.Snapshot().stations["a"].key, Fingerprint(key.public_key));
    EXPECT_EQ(failed(), 1U);

    // The database loses the room's rows and places; the replay brings every one, verified.
    ledger_.reset();
    ledger::OpenDatabase(Url(), "")->Transact(
        {{"DELETE FROM weighings", {}},
         {"UPDATE stations SET held_month = NULL, held_offset = NULL", {}}});
    StartVerifyingLedger();
    StartPublisher("a");
    StartPublisher("b");
    ASSERT_TRUE(RunUntil([&] { return Weighings().size() == kWeighings + 1; }, 60s));
    StopStationsAndDrain();
    EXPECT_EQ(Weighings(), Registers());
    EXPECT_EQ(VerifyProgram(), std::pair(0, std::string("verified: 301, failed: 0\n")));

    ledger_.reset();
    ledger::OpenDatabase(Url(), "")->Transact(
        {{"UPDATE weighings SET weight = 5000, reading = '5000' WHERE id = 'c-a/202612/64'", {}},
         {"UPDATE weighings SET weight = 1 WHERE id = 'c-a/202612/128'", {}}});
    EXPECT_EQ(VerifyProgram(),
              std::pair(1, std::string("a: c-a/202612/64: its scale, reading or time is not its "
                                       "line's\na: c-a/202612/128: its weight is not its "
                                       "reading's\nverified: 299, failed: 2\n")));
}

INSTANTIATE_TEST_SUITE_P(Databases, LedgerSealTest, ::testing::Values("sqlite", "postgresql"),
                         DatabaseName);

}  // namespace
}  // namespace station::test
