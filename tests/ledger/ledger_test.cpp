// The ledger in the test's loop against a real broker and both databases: what it keeps, what it
// refuses, and how it fills an empty database from the stations' registers.
#include "ledger/store/open_database.h"
#include "tests/ledger/ledger_fixture.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include "common/ascii.h"
#include "ledger/ledger_settings.h"
#include "ledger/page/plant_page.h"
#include "ledger/store/ledger_tables.h"
#include "net/broker_client.h"

namespace station::test {
namespace {

using namespace std::chrono_literals;

class LedgerTest : public LedgerFixture {};

// The line with each token of 32 hex digits as T and each other run of digits as N.
std::string Normalised(const std::string& line) {
    const auto hex = [](char c) { return IsDigit(c) || (c >= 'a' && c <= 'f'); };
    std::string normalised;
    for (std::size_t i = 0; i < line.size();) {
        if (line.size() - i >= 32 &&
            std::all_of(line.begin() + static_cast<std::ptrdiff_t>(i),
                        line.begin() + static_cast<std::ptrdiff_t>(i) + 32, hex)) {
            normalised += 'T';
            i += 32;
        } else if (IsDigit(line[i])) {
            normalised += 'N';
            while (i < line.size() && IsDigit(line[i])) {
                ++i;
            }
        } else {
            normalised += line[i++];
        }
    }
    return normalised;
}

TEST_P(LedgerTest, AnEmptyDatabaseFillsItselfFromTheStationsRegistersOnce) {
    AddStation("room1", 30, false);
    AddStation("room2", 20, false);
    StartLedger();
    const Rows registers = Registers();
    ASSERT_EQ(registers.size(), 100u);
    ASSERT_TRUE(RunUntil([&] { return Weighings().size() == registers.size(); }, 30s));
    EXPECT_EQ(Weighings(), registers);

    // Started again, it asks again: the stations send the months again (once their minute
    // since the last replay is up), nothing is doubled.
    ledger_.reset();
    StartLedger();
    PassMinute();  // the station's minute between replays
    ASSERT_TRUE(RunUntil(
        [&] {
            const std::string honoured =
                ReadFile(stations_["room1"]->dir / "publikacja.odtworzenie");
            return Query("SELECT COUNT(*) FROM stations WHERE newest_month = 202612").size() == 1 &&
                   std::count(honoured.begin(), honoured.end(), '\n') == 2;
        },
        10s));
    loop_.RunUntil([] { return false; }, 1s);
    EXPECT_EQ(Weighings(), registers);
    const auto rows = Query(
        "SELECT station, scale, reading, time, weight FROM weighings WHERE id LIKE "
        "'c-room2/202612/%' AND reading = '7'");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], "room2");
    EXPECT_EQ(rows[0][1], "4");
    EXPECT_EQ(rows[0][2], "7");
    EXPECT_EQ(rows[0][3], "2026-12-08T08:00:07+00:00");
    EXPECT_EQ(std::stod(rows[0][4].value_or("")), 7.0) << "the weight as a number";
}

// Every kind of message that is no station's, each in `rejected` with its reason, and the good
// weighing beside them kept.
TEST_P(LedgerTest, AMessageThatIsNoWeighingEndsInRejectedWithItsReason) {
    auto settings = Settings();
    settings.most_rooms = 2;
    ledger_ = std::make_unique<ledger::Ledger>(
        loop_, settings, [this](const std::string& line) { ledger_log_.push_back(line); });
    // A rule of the database's own: the row it refuses must not sink the rows written with it.
    ledger::OpenDatabase(Url(), "")->Transact(
        {{cluster_ ? "ALTER TABLE weighings ADD CONSTRAINT no_999 CHECK (reading <> '999')"
                   : "CREATE TRIGGER no_999 BEFORE INSERT ON weighings WHEN NEW.reading = '999' "
                     "BEGIN SELECT RAISE(ABORT, 'no 999'); END",
          {}}});
    net::BrokerClient client(loop_);
    client.Connect(ClientOptions("sender"));
    ASSERT_TRUE(RunUntil([&] { return client.Connected(); }, 10s));
    // A room's retained status: once the ledger has it, it listens.
    ASSERT_TRUE(client.Publish("plant/a/status", "online", 1, true));
    ASSERT_TRUE(RunUntil([&] { return Query("SELECT station FROM stations").size() == 1; }, 10s));
    const std::string good =
        R"({"id":"c-a/202612/0","scale":1,"reading":"12,5","unit":"g","time":null,"line":"x"})";
    const struct {
        std::string topic;
        std::string payload;
        const char* reason;
    } cases[] = {
        {"plant/a/waga1/weighing", good, nullptr},
        {"plant/a/waga1/weighing", "{\"id\":", "not JSON"},
        {"plant/a/waga1/weighing", std::string("\xff\xfe{}", 4), "not JSON"},
        {"plant/a/waga1/weighing", "[1,2]", "a field of a wrong type: not a JSON object"},
        {"plant/a/waga1/weighing", R"({"scale":1,"reading":"1","time":null,"line":"x"})",
         "a field missing: id"},
        {"plant/a/waga1/weighing", R"({"id":5,"scale":1,"reading":"1","time":null,"line":"x"})",
         "a field of a wrong type: id is no text"},
        {"plant/a/waga2/weighing",
         R"({"id":"c-a/202612/9","scale":1,"reading":"1","time":null,"line":"x"})",
         "a value no station sends: scale differs from the topic's"},
        {"plant/a/waga1/weighing",
         R"({"id":"c-a/2026-12/9","scale":1,"reading":"1","time":null,"line":"x"})",
         "a value no station sends: id is not CLIENT/yyyymm/OFFSET"},
        {"plant/a/waga1/weighing",
         R"({"id":"c-a/202612/09","scale":1,"reading":"1","time":null,"line":"x"})",
         "a value no station sends: id is not CLIENT/yyyymm/OFFSET"},
        {"plant/a/waga1/weighing",
         R"({"id":"c-a/202612/9","scale":1,"reading":"1","unit":7,"time":null,"line":"x"})",
         "a field of a wrong type: unit is no text"},
        {"plant/a/waga1/weighing",
         R"({"id":"c-a/202612/9","scale":1,"reading":"1\u0000","time":null,"line":"x"})",
         "a value no station sends: reading holds a NUL character"},
        {"plant/a/waga1/weighing",
         R"({"id":"c-b/202612/9","scale":1,"reading":"1","time":null,"line":"x"})",
         "an id of another station: the station's client id is c-a"},
        {"plant/b/waga1/weighing",
         R"({"id":"c-a/202612/9","scale":1,"reading":"1","time":null,"line":"x"})",
         "an id of another station: claimed by station a"},
        {"plant/a/waga5/weighing", good, "no station's topic"},
        {"plant/a/status", "maybe", "a value no station sends"},
        {"plant/a/waga1/state", R"({"connected":"yes","motion":null,"range":null})",
         "a field of a wrong type"},
        {"plant/a/waga1/weighing", std::string(ledger::kLargestMessage + 1, ' '),
         "too large: more than 16384 bytes"},
        // never read: the broker drops it for the ledger, which asked for no packet as large
        {"plant/a/waga3/weighing", std::string(4 << 20, ' '), nullptr},
        {"plant/" + std::string(300, 'r') + "/status", "online",
         "no station's topic: a room's name longer than 200 bytes"},
        {"plant/a/waga1/weighing",
         R"({"id":"c-a/202612/9","scale":1,"reading":"1","time":"wczoraj","line":"x"})",
         "a value no station sends: time is neither ISO 8601 nor null"},
        {"plant/a/waga1/weighing",
         R"({"id":"c-a/999912/9","scale":1,"reading":"1","time":null,"line":"x"})",
         "a value no station sends: id's month has not begun"},
        {"plant/a/waga1/weighing",
         R"({"id":"c-a/202612/9","scale":1,"reading":")" + std::string(101, '1') +
             R"(","time":null,"line":"x"})",
         "a value no station sends: reading longer than 100 bytes"},
        {"plant/a/waga1/state",
         R"({"connected":true,"motion":null,"range":null,"reading":"1","time":"12:00"})",
         "a value no station sends: time is not ISO 8601"},
        {"plant/a/waga1/weighing",
         R"({"id":"c-a/202612/7","scale":1,"reading":"999","time":null,"line":"x"})",
         "refused by the database: "},
        {"plant/b/waga1/weighing",
         R"({"id":"c-b/202612/0","scale":1,"reading":"1","time":null,"line":"b"})", nullptr},
        {"plant/c/status", "online", nullptr},  // kept, as long as it is heard
        {"plant/c/waga1/weighing",
         R"({"id":"c-c/202612/0","scale":1,"reading":"1","time":null,"line":"c"})",
         "a room not kept: more than 2 rooms with weighings"},
        {"plant/hala/c/waga1/weighing", good, "no station's topic: topic not plant/<room>/…"},
        {"plant/hala/c/status", "online", "no station's topic: topic not plant/<room>/…"},
        {"plant/a/waga1/weighing", good, nullptr},  // the same again: a replay, held already
        {"plant/a/waga1/weighing",
         R"({"id":"c-a/202612/0","scale":1,"reading":"1","time":null,"line":"forged"})",
         "an id held already with another line: the first is kept"},
        {"plant/a/waga1/weighing",
         R"({"id":"c-a/202612/0","scale":1,"reading":"1","unit":"g","time":"1999-01-01T00:00:00Z","line":"x"})",
         "an id held already with another line: the first is kept"},
        {"plant/a/waga1/weighing",
         R"({"id":"c-a/202612/0","scale":1,"reading":"12,5","unit":"g","time":"1999-01-01T00:00:00Z","line":"x"})",
         "an id held already with another line: the first is kept"},
    };
    for (const auto& message : cases) {
        ASSERT_TRUE(client.Publish(message.topic, message.payload, 1, false));
        loop_.RunOnce(0ms);
    }
    ASSERT_TRUE(RunUntil([&] { return Query("SELECT reason FROM rejected").size() == 28; }, 10s))
        << testing::PrintToString(ledger_log_);
    const auto rejected = Query("SELECT reason, topic FROM rejected");
    for (const auto& message : cases) {
        if (message.reason == nullptr) {
            continue;
        }
        SCOPED_TRACE(message.reason);
        EXPECT_TRUE(std::any_of(rejected.begin(), rejected.end(), [&](const ledger::Row& row) {
            return row[0]->starts_with(message.reason) && row[1] == message.topic;
        }));
    }
    EXPECT_TRUE(Query("SELECT topic FROM rejected WHERE topic = 'plant/a/waga3/weighing'").empty());
    EXPECT_EQ(Weighings(), (Rows{{"c-a/202612/0", "x"}, {"c-b/202612/0", "b"}}));
    EXPECT_EQ(Query("SELECT weight, unit, disputed FROM weighings WHERE station = 'a'")[0],
              (ledger::Row{"12.5", "g", cluster_ ? "t" : "1"}));
}

// A flood of rejected messages keeps, per kind, the first and the last few, and counts them all.
TEST_P(LedgerTest, RejectedRowsOfAKindAreKeptFirstAndLastAndAllCounted) {
    const auto database = ledger::OpenDatabase(Url(), "");
    ledger::LedgerTables tables(*database);
    constexpr int kKept = static_cast<int>(ledger::LedgerTables::kRejectedKept);
    constexpr int kSent = 3 * kKept + 10;
    ledger::Batch batch;
    std::set<std::string> kept;
    for (int i = 0; i < kSent; ++i) {
        batch.rejected.push_back({"t", std::to_string(i), "r", "now", "not JSON"});
        if (i < kKept || i >= kSent - kKept) {
            kept.insert(std::to_string(i));
        }
    }
    batch.rejected.push_back({"t", "other", "r", "now", "a field missing"});
    tables.Write(batch);
    std::set<std::string> held;
    for (const ledger::Row& row :
         database->Query("SELECT payload FROM rejected WHERE kind = 'not JSON'", {})) {
        held.insert(*row[0]);
    }
    EXPECT_EQ(held, kept);
    EXPECT_EQ(
        database->Query("SELECT kind, seen FROM rejected_counts ORDER BY kind", {}),
        (std::vector<ledger::Row>{{"a field missing", "1"}, {"not JSON", std::to_string(kSent)}}));
}

TEST_P(LedgerTest, AnOlderSchemaIsUpgradedWithItsRowsKept) {
    {
        const auto database = ledger::OpenDatabase(Url(), "");
        ledger::UpgradeSchema(*database, 1);
        database->Transact(
            {{"INSERT INTO weighings (id, station, scale, reading, line, received) "
              "VALUES ($1, $2, $3, $4, $5, $6)",
              {std::string("c-a/202612/0"), std::string("a"), std::int64_t{1}, std::string("5"),
               std::string("line"), std::string("now")}}});
    }
    const auto database = ledger::OpenDatabase(Url(), "");
    const ledger::LedgerTables tables(*database);
    EXPECT_EQ(database->Query("SELECT version FROM ledger_schema", {})[0][0],
              std::to_string(ledger::kSchemaVersion));
    EXPECT_EQ(Weighings(), (Rows{{"c-a/202612/0", "line"}}));
    EXPECT_EQ(Query("SELECT unit FROM weighings")[0][0], "kg") << "kept before units were";
}

// Settings that cannot be used end the ledger at start, with the reason and status 1.
// An id's month is taken once it has begun where the station is, a day ahead of the ledger at
// most: a month to come would move the replays' start past real gaps.
TEST(LedgerMessages, AnIdsMonthIsTakenOnceItHasBegunADayAheadAtMost) {
    const struct {
        const char* received;
        const char* month;
        bool taken;
    } cases[] = {
        {"2026-12-09T05:00:00+01:00", "202612", true},
        {"2026-12-09T05:00:00+01:00", "202701", false},
        {"2026-12-31T23:30:00+01:00", "202701", true},
        {"2026-12-31T23:30:00+01:00", "202702", false},
        {"2028-02-29T10:00:00+01:00", "202803", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.received) + " " + c.month);
        const ledger::LedgerMessage message =
            ledger::ReadLedgerMessage("p", "p/a/waga1/weighing",
                                      std::string(R"({"id":"c/)") + c.month +
                                          R"(/0","scale":1,"reading":"1","time":null,"line":"x"})",
                                      c.received);
        EXPECT_EQ(std::holds_alternative<ledger::WeighingRow>(message), c.taken);
    }
}

TEST(LedgerSettings, SettingsThatCannotBeUsedEndTheLedgerWithTheReason) {
    TempDir dir;
    WriteFile(dir / "open", "x\n");
    ASSERT_EQ(::chmod((dir / "open").c_str(), 0644), 0);
    const struct {
        std::string settings;
        std::string problem;
    } cases[] = {
        {"[Baza]\nurl=mysql://x\n", "Baza: url: neither sqlite:PATH nor postgresql://"},
        {"[Baza]\nurl=sqlite:\n", "Baza: url: neither"},
        {"[Baza]\npassword_file=" + dir / "none" + "\n", "Baza: password_file: cannot read"},
        {"[Baza]\npassword_file=" + dir / "open" + "\n",
         "Baza: password_file: others than its owner can read"},
        {"[Broker]\nport=0\n", "Broker: port: not a number from 1 to 65535"},
        {"[Broker]\nshare=a/b\n", "Broker: share:"},
        {"[Broker]\nbroker=10.1.2.3\n", "Broker: 10.1.2.3 is reached without username"},
        {"[Broker]\nopen=tak\n", "Broker: open: neither yes nor no"},
        {"[Odtwarzanie]\nfirst_month=202613\n", "Odtwarzanie: first_month: not a month"},
        {"[Pokoje]\nmost=0\n", "Pokoje: most: not a number of rooms"},
        {"[Podpisy]\nverify=tak\n", "Podpisy: verify: neither on nor off"},
        {"[Podpisy]\nkeys=a:" + std::string(64, 'F') + "\n", "Podpisy: keys: not ROOM:KEY"},
        {"[Strona]\nlisten=8080\n", "Strona: listen: not HOST:PORT"},
        {"[Strona]\nper_address=-1\n", "Strona: per_address: not a number of connections"},
        {"[Baza]\nulr=sqlite:/x\n",
         dir / "ledger.ini:2: unknown key ulr in section [Baza] (did you mean url?)"},
        {"[broker]\nport=1883\n\n[Strony]\n",
         dir / "ledger.ini:4: unknown section [Strony] (did you mean strona?)"},
        {"port=1883\n", "ledger.ini:1: key port stands before any [section]"},
        {"[Strona]\nlisten=0.0.0.0:8080\n", "Strona: listening on 0.0.0.0 needs"},  // run last
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.settings);
        WriteFile(dir / "ledger.ini", row.settings);
        const auto loaded =
            ledger::LoadLedgerSettings(IniFile(dir / "ledger.ini"), "host", dir.Path(), {2026, 12});
        const auto* problem = std::get_if<std::string>(&loaded);
        ASSERT_NE(problem, nullptr);
        EXPECT_NE(problem->find(row.problem), std::string::npos) << *problem;
    }
    WriteFile(dir / "open.ini", "[Broker]\nbroker=10.1.2.3\nopen=yes\n");  // taken knowingly
    const auto open =
        ledger::LoadLedgerSettings(IniFile(dir / "open.ini"), "host", dir.Path(), {2026, 12});
    ASSERT_TRUE(std::holds_alternative<ledger::LedgerSettings>(open));
    EXPECT_TRUE(std::get<ledger::LedgerSettings>(open).open_broker);
    const int status =
        WaitFor(Spawn({LEDGER_PROGRAM, "--config", dir / "ledger.ini"}, dir / "out"));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
    EXPECT_NE(ReadFile(dir / "out").find("Strona: listening on 0.0.0.0 needs"), std::string::npos);
}

// The broker's login refused ends the ledger with status 1 and the reason, as a database's does;
// a password file its user cannot read names that user and the command that mends it.
TEST(LedgerLogin, ARefusedLoginOrAPasswordFileItCannotReadEndsTheLedgerWithTheReason) {
    TempDir dir;
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);  // for "nobody"
    ASSERT_TRUE(RunToEnd({"mosquitto_passwd", "-b", "-c", dir / "broker.passwd", "ledger", "right"},
                         dir / "out"));
    MqttBroker broker("allow_anonymous false\npassword_file " + dir / "broker.passwd" + "\n");
    WriteFile(dir / "wrong", "wrong\n");
    ASSERT_EQ(::chmod((dir / "wrong").c_str(), 0600), 0);
    WriteFile(dir / "ledger.ini",
              "[Broker]\nbroker=127.0.0.1\nport=" + std::to_string(broker.Port()) +
                  "\nusername=ledger\npassword_file=" + dir / "wrong" + "\n[Baza]\nurl=sqlite:" +
                  dir / "ledger.sqlite" + "\n[Strona]\nlisten=127.0.0.1:0\n");
    ASSERT_EQ(::chmod((dir / "ledger.ini").c_str(), 0644), 0);
    std::filesystem::copy_file(LEDGER_PROGRAM, dir / "tarvelio-ledger");
    const struct {
        std::vector<std::string> command;
        const char* said;
    } cases[] = {
        {{dir / "tarvelio-ledger", "--config", dir / "ledger.ini"},
         "broker 127.0.0.1 refused the login: "},
        {{"runuser", "-u", "nobody", "--", dir / "tarvelio-ledger", "--config", dir / "ledger.ini"},
         ": Permission denied (this program runs as user nobody, who must own it: chown nobody "},
    };
    for (const auto& row : cases) {
        const int status = WaitFor(Spawn(row.command, dir / "out"));
        const std::string out = ReadFile(dir / "out");
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << out;
        EXPECT_NE(out.find(row.said), std::string::npos) << out;
    }
}

// A room whose client id was taken (a stranger's weighing first, a station reinstalled) is given
// back by the operator's command: its next weighing binds a client id again.
TEST(LedgerRelease, TheOperatorLetsARoomsClientIdGo) {
    TempDir dir;
    const std::string url = "sqlite:" + dir / "ledger.sqlite";
    {
        const auto database = ledger::OpenDatabase(url, "");
        ledger::LedgerTables tables(*database);
        ledger::Batch batch;
        batch.weighings.push_back(
            {"evil/202612/0", "room9", "evil", 202612, 1, "1", 1.0, std::nullopt, "x", "now", "t"});
        tables.Write(batch);
    }
    WriteFile(dir / "ledger.ini", "[Baza]\nurl=" + url + "\n");
    const std::vector<std::string> release{LEDGER_PROGRAM, "--config", dir / "ledger.ini",
                                           "--release", "room9"};
    EXPECT_TRUE(RunToEnd(release, dir / "out"));
    EXPECT_FALSE(RunToEnd(release, dir / "out"));  // nothing bound any more
    EXPECT_NE(ReadFile(dir / "out").find("room9: client id released"), std::string::npos);
    EXPECT_NE(ReadFile(dir / "out").find("room9: no client id bound"), std::string::npos);
    const auto database = ledger::OpenDatabase(url, "");
    EXPECT_EQ(ledger::LedgerTables(*database).Stations()[0].client_id, "");
    EXPECT_TRUE(
        RunToEnd({LEDGER_PROGRAM, "--config", dir / "ledger.ini", "--release-forged", "room9"},
                 dir / "out"));
    EXPECT_NE(ReadFile(dir / "out").find("room9: weighings moved to rejected: 1;"),
              std::string::npos);
}

// A database that refuses for a reason waiting will not mend ends the ledger at start with status
// 1 and the database's own reason, before it says "started"; one that is only not there yet is
// waited for, said once, and then written to.
TEST_P(LedgerTest, ADatabaseThatRefusesForGoodEndsTheLedgerAndOneNotYetThereIsWaitedFor) {
    ASSERT_EQ(::chmod(dir_.Path().c_str(), 0755), 0);  // for the unprivileged row
    std::filesystem::create_directory(dir_ / "root-only");
    WriteFile(dir_ / "wrong", "wrong\n");
    ASSERT_EQ(::chmod((dir_ / "wrong").c_str(), 0600), 0);
    const struct {
        const char* database;
        std::string url;
        std::string reason;
        bool unprivileged = false;
    } cases[] = {
        {"sqlite", "sqlite:" + dir_ / "none/ledger.sqlite", "unable to open database file"},
        {"sqlite", "sqlite:" + dir_ / "root-only/ledger.sqlite", "unable to open database file",
         true},
        {"postgresql", cluster_ ? cluster_->Url("postgres", "weigher") : "",
         "password authentication failed"},
        {"postgresql", cluster_ ? cluster_->Url("nosuch") : "", "\"nosuch\" does not exist"},
        {"postgresql", cluster_ ? cluster_->Url() + "&sslmode=bogus" : "", "invalid sslmode value"},
    };
    if (cluster_) {
        cluster_->AddPasswordRole("weigher", "right");
    }
    const auto settings = [&](const std::string& url) {
        WriteFile(dir_ / "ledger.ini",
                  "[Broker]\nbroker=127.0.0.1\nport=" + std::to_string(broker_.Port()) +
                      "\ntopic=plant\n[Baza]\nurl=" + url +
                      (cluster_ ? "\npassword_file=" + dir_ / "wrong" : "") +
                      "\n[Strona]\nlisten=127.0.0.1:0\n");
        ASSERT_EQ(::chmod((dir_ / "ledger.ini").c_str(), 0644), 0);
    };
    for (const auto& row : cases) {
        if (row.database != GetParam()) {
            continue;
        }
        SCOPED_TRACE(row.url);
        settings(row.url);
        std::vector<std::string> command{LEDGER_PROGRAM, "--config", dir_ / "ledger.ini"};
        if (row.unprivileged) {
            // A copy where "nobody" can reach it: the checkout may be in a private folder.
            std::filesystem::copy_file(LEDGER_PROGRAM, dir_ / "tarvelio-ledger",
                                       std::filesystem::copy_options::overwrite_existing);
            command = {
                "runuser",          "-u", "nobody", "--", dir_ / "tarvelio-ledger", "--config",
                dir_ / "ledger.ini"};
        }
        std::filesystem::remove(dir_ / "out");
        const pid_t ledger = Spawn(command, dir_ / "out");
        int status = -1;
        ASSERT_TRUE(RunUntil([&] { return ::waitpid(ledger, &status, WNOHANG) == ledger; }, 20s))
            << ReadFile(dir_ / "out");
        const std::string out = ReadFile(dir_ / "out");
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << out;
        EXPECT_NE(out.find("database refused: "), std::string::npos) << out;
        EXPECT_NE(out.find(row.reason), std::string::npos) << out;
        EXPECT_EQ(out.find("started"), std::string::npos) << out;
    }
    if (!cluster_) {
        return;
    }
    cluster_->Stop();
    settings(cluster_->Url());
    std::filesystem::remove(dir_ / "out");
    AddStation("room1", 2, true);
    const ChildProcess ledger({LEDGER_PROGRAM, "--config", dir_ / "ledger.ini"}, dir_ / "out");
    ASSERT_TRUE(RunUntil(
        [&] { return ReadFile(dir_ / "out").find("database: ") != std::string::npos; }, 20s));
    cluster_->Start();
    ASSERT_TRUE(
        RunUntil([&] { return ReadFile(dir_ / "out").find("started") != std::string::npos; }, 30s))
        << ReadFile(dir_ / "out");
    ASSERT_TRUE(RunUntil([&] { return Weighings().size() == 4; }, 30s)) << ReadFile(dir_ / "out");
    const std::string out = ReadFile(dir_ / "out");
    EXPECT_LT(out.find("database: "), out.find("started")) << out;
    EXPECT_NE(out.find("database back after"), std::string::npos) << out;
    EXPECT_EQ(out.find("\n\t"), std::string::npos) << "libpq's hint on a line of its own:\n" << out;
}

// Through a real broker: the log says each step of the flow once, and health and metrics follow
// it (200 only while the database is open and the broker connected).
TEST_P(LedgerTest, TheLogAndTheHealthShowThatTheFlowIsWhole) {
    Station& room1 = AddStation("room1", 3, true);
    ledger::PageSettings page_settings;
    page_settings.port = 0;
    page_settings.files = PAGE_FILES;
    const ledger::PlantPage page(page_settings, Url(), "", &health_);
    httplib::Client client("127.0.0.1", page.Port());
    const auto start = [&] {
        ledger_ = std::make_unique<ledger::Ledger>(
            loop_, Settings(), [this](const std::string& line) { ledger_log_.push_back(line); },
            nullptr, ledger::Ledger::Startup{}, &health_);
    };
    const auto said = [&](const std::string& start_of_line) {
        return std::count_if(ledger_log_.begin(), ledger_log_.end(),
                             [&](const auto& line) { return line.starts_with(start_of_line); });
    };
    const auto through = [&](const char* counts) {
        return RunUntil(
            [&] {
                loop_.Advance(1s);
                return said("room1: replay through: " + std::string(counts)) == 1;
            },
            20s);
    };
    start();
    ASSERT_TRUE(RunUntil([&] { return Weighings().size() == 6; }, 20s));
    ASSERT_TRUE(
        through("6 weighings new, "));  // some may have come twice: the backlog and the replay
    auto answer = client.Get("/api/health");
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 200);
    const auto json = nlohmann::json::parse(answer->body);
    EXPECT_EQ(json["database"], "open");
    EXPECT_EQ(json["stations"]["room1"]["replay"], "through");
    EXPECT_EQ(json["stations"]["room1"]["last_weighing"], "2026-12-03T08:00:02+00:00");
    const std::string metrics = client.Get("/metrics")->body;
    for (const char* line :
         {"tarvelio_ledger_up 1", "tarvelio_ledger_weighings_stored_total 6",
          "tarvelio_ledger_weighings_held_already_total ",
          "tarvelio_ledger_rejected_total{kind=\"not JSON\"} 0",
          "tarvelio_ledger_replays_asked_total 1", "tarvelio_ledger_replays_through_total 1",
          "tarvelio_ledger_database_errors_total 0", "tarvelio_ledger_live_pages 0",
          "tarvelio_ledger_write_seconds_count ", "tarvelio_ledger_weighing_lag_seconds ",
          "tarvelio_ledger_room_last_weighing_timestamp_seconds{room=\"room1\"} 1796284802\n",
          "tarvelio_ledger_room_replay_running{room=\"room1\"} 0\n"}) {
        EXPECT_NE(metrics.find(line), std::string::npos) << line << "\n" << metrics;
    }

    broker_.Stop();
    ASSERT_TRUE(RunUntil([&] { return client.Get("/api/health")->status == 503; }, 10s));
    loop_.Advance(ledger::Ledger::kBrokerBlip);  // a loss that lasts is said on its own
    // (an attempt refused within the same advance may add a "still away" line after it)
    EXPECT_EQ(
        std::count_if(ledger_log_.begin(), ledger_log_.end(),
                      [](const auto& line) { return line.find(": lost: ") != std::string::npos; }),
        1);
    ASSERT_TRUE(broker_.Start());
    ASSERT_TRUE(RunUntil([&] { return client.Get("/api/health")->status == 200; }, 20s));

    ledger_.reset();  // a restart: asked again, nothing new, once the station's minute is up
    start();
    ASSERT_TRUE(RunUntil([&] { return client.Get("/api/health")->status == 200; }, 20s));
    PassMinute();  // the station's minute between replays
    // It holds every line up to the register's end: nothing is sent again.
    ASSERT_TRUE(through("0 weighings new, 0 held already")) << testing::PrintToString(ledger_log_);
    // The lines that show the flow, numbers and tokens aside; the broker's refusals while it was
    // away may be said more than once, as attempts fail for different reasons.
    std::vector<std::string> flow;
    for (const std::string& line : ledger_log_) {
        if (!line.starts_with("broker ") || line.find(": connected") != std::string::npos ||
            line.find(": lost: ") != std::string::npos) {
            flow.push_back(Normalised(line));
        }
    }
    const std::string first_connection =
        "broker N.N.N.N:N: connected; a new session: the stations are asked to send again";
    const std::string kept_but_doubted =
        "broker N.N.N.N:N: connected after N s away; it kept the ledger's session, which may have "
        "lost messages meanwhile: the stations are asked to send again";
    EXPECT_EQ(flow, (std::vector<std::string>{
                        first_connection, "roomN: replay asked from N (request ledger/T)",
                        flow.size() > 2 ? flow[2] : "",  // counted above
                        "broker N.N.N.N:N: lost: The connection was lost.", kept_but_doubted,
                        "roomN: replay asked from N offset N (request ledger/T)",
                        "broker N.N.N.N:N: connected; it kept the ledger's session",
                        "roomN: replay asked from N offset N (request ledger/T)",
                        "roomN: replay through: N weighings new, N held already"}))
        << testing::PrintToString(ledger_log_);

    // Its station stops: the time it was last heard from stands, also when a restarted ledger
    // hears its retained status again, so the age an alert reads grows.
    const auto gauge = [&](const std::string& name) {
        const std::string text = client.Get("/metrics")->body;
        const std::string key = name + "{room=\"room1\"} ";
        const std::size_t at = text.find(key);
        return at == std::string::npos ? -1 : std::stoll(text.substr(at + key.size()));
    };
    room1.publisher.reset();
    ASSERT_TRUE(RunUntil([&] { return gauge("tarvelio_ledger_room_online") == 0; }, 10s));
    const long long heard = gauge("tarvelio_ledger_room_last_message_timestamp_seconds");
    EXPECT_GT(heard, 1796284802);  // when it was heard, not the weighing's time
    ledger_.reset();
    start();
    ASSERT_TRUE(RunUntil([&] { return said("room1: replay asked") == 4; }, 20s));
    EXPECT_EQ(gauge("tarvelio_ledger_room_last_message_timestamp_seconds"), heard);
}

// The ledger lacks the last weighings of what it holds (a broker lost them): the replay starts
// where they do and sends them alone. A weighing whose places cannot be is stored, moves nothing,
// and is counted.
TEST_P(LedgerTest, AReplayStartsWhereWhatIsHeldStopsAndSendsOnlyWhatIsMissing) {
    AddStation("room1", 3, true);
    const Rows registers = Registers();
    const auto start = [&] {
        ledger_ = std::make_unique<ledger::Ledger>(
            loop_, Settings(), [this](const std::string& line) { ledger_log_.push_back(line); },
            nullptr, ledger::Ledger::Startup{}, &health_);
    };
    start();
    ASSERT_TRUE(RunUntil([&] { return Weighings().size() == registers.size(); }, 20s));
    const std::string delivered = "202612.txt 90\n";  // so the room, started again, sends nothing
    ASSERT_TRUE(RunUntil(
        [&] { return ReadFile(stations_["room1"]->dir / "publikacja.stan") == delivered; }, 10s));
    ASSERT_NO_FATAL_FAILURE(StopStationsAndDrain());
    ledger_.reset();
    ledger::OpenDatabase(Url(), "")->Transact(
        {{"DELETE FROM weighings WHERE id IN ('c-room1/202612/30', 'c-room1/202612/60')", {}},
         {"UPDATE stations SET held_offset = 30 WHERE station = 'room1' AND held_month = 202612",
          {}}});
    ledger_log_.clear();
    StartPublisher("room1");  // all it has is delivered: it sends only what a replay asks
    start();
    PassMinute();  // the station's minute between replays
    ASSERT_TRUE(RunUntil(
        [&] {
            loop_.Advance(1s);
            return std::find(ledger_log_.begin(), ledger_log_.end(),
                             "room1: replay through: 2 weighings new, 0 held already") !=
                   ledger_log_.end();
        },
        20s))
        << testing::PrintToString(ledger_log_);
    EXPECT_EQ(Normalised(ledger_log_[1]), "roomN: replay asked from N offset N (request ledger/T)");
    EXPECT_EQ(Weighings(), registers);

    const std::string behind =
        R"({"id":"x/202612/90","scale":1,"reading":"1","time":null,"line":"l","after":"202612/0",)"
        R"("next":10})";
    ASSERT_TRUE(RunToEnd({"mosquitto_pub", "-h", "127.0.0.1", "-p", std::to_string(broker_.Port()),
                          "-t", "plant/room9/waga1/weighing", "-m", behind, "-q", "1"},
                         dir_ / "publish.log"));
    ASSERT_TRUE(RunUntil([&] { return health_.Snapshot().untrusted_places == 1; }, 10s));
    ASSERT_TRUE(RunUntil([&] { return Weighings().contains("x/202612/90"); }, 10s));

    ledger_.reset();  // a place another ledger of a group held on from: walked on in the database
    ledger::OpenDatabase(Url(), "")->Transact(
        {{"UPDATE stations SET held_offset = 0 WHERE station = 'room1'", {}}});
    ledger_log_.clear();
    start();
    ASSERT_TRUE(RunUntil([&] { return ledger_log_.size() >= 2; }, 10s));
    EXPECT_TRUE(ledger_log_[1].starts_with("room1: replay asked from 202612 offset 90 (request"))
        << ledger_log_[1];

    ledger_.reset();  // a place held far back, rows of older ledgers: no more asked than before
    ledger::OpenDatabase(Url(), "")->Transact(
        {{"UPDATE stations SET held_month = 202510 WHERE station = 'room1'", {}},
         {"UPDATE weighings SET next_offset = NULL", {}}});
    ledger_log_.clear();
    start();
    ASSERT_TRUE(RunUntil([&] { return ledger_log_.size() >= 2; }, 10s));
    EXPECT_TRUE(ledger_log_[1].starts_with("room1: replay asked from 202611 (request"))
        << ledger_log_[1];
    PassMinute();
    const auto held_month = [&] {
        loop_.Advance(1s);
        return ledger::OpenDatabase(Url(), "")->Query(
            "SELECT held_month FROM stations WHERE station = 'room1'", {})[0][0];
    };
    EXPECT_TRUE(RunUntil([&] { return held_month() == "202612"; }, 20s))
        << "the replay's weighings follow on from where it was asked";
}

// What a stranger on an open broker may publish under a room: a weighing held already, sent
// again with places that claim a gap before it is no gap (lines 2 and 3 missing, line 4 "after"
// line 1), moves the place held only by what the database stored, so the next start still asks
// for lines 2 and 3; an empty retained message that erases that request has it published again.
TEST_P(LedgerTest, AStrangersCopiesNeitherSkipAGapNorEraseARequest) {
    AddStation("room1", 6, true);
    const auto start = [&] {
        ledger_log_.clear();
        ledger_ = std::make_unique<ledger::Ledger>(
            loop_, Settings(), [this](const std::string& line) { ledger_log_.push_back(line); },
            nullptr, ledger::Ledger::Startup{}, &health_);
    };
    start();
    ASSERT_TRUE(RunUntil([&] { return Weighings() == Registers(); }, 20s));
    ASSERT_NO_FATAL_FAILURE(StopStationsAndDrain());  // the room answers no replay from now on
    ledger_.reset();
    auto database = ledger::OpenDatabase(Url(), "");
    database->Transact(
        {{"DELETE FROM weighings WHERE id IN ('c-room1/202612/60', 'c-room1/202612/90')", {}},
         {"UPDATE stations SET held_month = 202612, held_offset = 60", {}}});
    const ledger::Row held = database->Query(
        "SELECT scale, reading, unit, time, line, next_offset FROM weighings "
        "WHERE id = 'c-room1/202612/120'",
        {})[0];
    nlohmann::json copy = {{"id", "c-room1/202612/120"},
                           {"scale", std::stoi(*held[0])},
                           {"reading", *held[1]},
                           {"unit", *held[2]},
                           {"time", held[3] ? nlohmann::json(*held[3]) : nlohmann::json()},
                           {"line", *held[4]},
                           {"after", "202612/60"},
                           {"next", std::stoll(*held[5])}};
    start();
    // What the broker kept for the ledger's session (copies the station sent before it stopped)
    // is written first, so that the count below is the stranger's copy alone.
    ASSERT_TRUE(RunUntil([&] { return health_.Snapshot().broker_connected; }, 10s));
    PassMinute();
    const std::uint64_t held_before = health_.Snapshot().weighings_held_already;
    ASSERT_TRUE(RunToEnd({"mosquitto_pub", "-h", "127.0.0.1", "-p", std::to_string(broker_.Port()),
                          "-t", "plant/room1/waga1/weighing", "-m", copy.dump(), "-q", "1"},
                         dir_ / "publish.log"));
    ASSERT_TRUE(RunUntil(
        [&] { return health_.Snapshot().weighings_held_already == held_before + 1; }, 10s));
    PassMinute();  // every write done
    ledger_.reset();
    start();
    ASSERT_TRUE(RunUntil([&] { return ledger_log_.size() >= 2; }, 10s));
    EXPECT_TRUE(ledger_log_[1].starts_with("room1: replay asked from 202612 offset 60 (request"))
        << ledger_log_[1];

    const std::string port = std::to_string(broker_.Port());
    ASSERT_TRUE(RunToEnd({"mosquitto_pub", "-h", "127.0.0.1", "-p", port, "-t",
                          "plant/room1/replay", "-r", "-n", "-q", "1"},
                         dir_ / "publish.log"));
    ASSERT_TRUE(RunUntil([&] { return ledger_log_.size() >= 3; }, 10s));
    ASSERT_TRUE(RunToEnd({"mosquitto_sub", "-h", "127.0.0.1", "-p", port, "-t",
                          "plant/room1/replay", "-C", "1", "-W", "5"},
                         dir_ / "retained"));
    const std::string token = ledger_log_[1].substr(ledger_log_[1].find("(request ") + 9, 39);
    EXPECT_NE(ReadFile(dir_ / "retained").find(token), std::string::npos)
        << ReadFile(dir_ / "retained") << testing::PrintToString(ledger_log_);
}

// A second ledger started with the same client id (by hand beside the service): one steps back,
// tries again once a minute and steps back again, saying so once a minute; the other keeps the
// session, and neither loses a weighing. Left alone, the first says the id is its own again.
TEST_P(LedgerTest, TwoLedgersWithOneClientIdStepBackInTurnAndLoseNothing) {
    AddStation("room1", 1000, true);
    const Rows registers = Registers();
    std::vector<std::string> first_log;
    std::vector<std::string> second_log;
    const auto ledger = [&](std::vector<std::string>& log) {
        return std::make_unique<ledger::Ledger>(
            loop_, Settings(), [&log](const std::string& line) { log.push_back(line); });
    };
    const auto taken = [](const std::vector<std::string>& log) {
        return std::count_if(log.begin(), log.end(), [](const std::string& line) {
            return line.find("another client is using the same client id ledger") !=
                   std::string::npos;
        });
    };
    auto first = ledger(first_log);
    ASSERT_TRUE(RunUntil([&] { return Weighings().size() >= 200; }, 20s));
    auto second = ledger(second_log);
    ASSERT_TRUE(RunUntil([&] { return taken(first_log) == 1; }, 20s))
        << ::testing::PrintToString(first_log) << ::testing::PrintToString(second_log);
    for (int minutes = 1; minutes <= 3; ++minutes) {
        PassMinute();
        ASSERT_TRUE(
            RunUntil([&] { return taken(first_log) + taken(second_log) == minutes + 1; }, 20s))
            << ::testing::PrintToString(first_log) << ::testing::PrintToString(second_log);
    }
    second.reset();
    PassMinute();
    ASSERT_TRUE(RunUntil([&] { return Weighings().size() == registers.size(); }, 30s));
    EXPECT_EQ(Weighings(), registers);
    PassMinute();
    const auto last_broker_line =
        std::find_if(first_log.rbegin(), first_log.rend(),
                     [](const auto& line) { return line.starts_with("broker "); });
    ASSERT_NE(last_broker_line, first_log.rend());
    EXPECT_TRUE(last_broker_line->ends_with("the client id ledger is the ledger's again"))
        << ::testing::PrintToString(first_log);
}

// Another login takes the ledger's client id again and again, and holds it while a room saves
// 300 weighings: the broker hands them, with the ledger's session, to the thief. The health says
// so while it lasts; the session the ledger regains is not trusted, and its replay round brings
// back every weighing.
TEST_P(LedgerTest, ASessionTakenByAnotherLoginIsReplayedWhole) {
    ledger_ = std::make_unique<ledger::Ledger>(
        loop_, Settings(), [this](const std::string& line) { ledger_log_.push_back(line); },
        ledger::Ledger::WrittenSink{}, ledger::Ledger::Startup{}, &health_);
    Station& room = AddStation("room1", 100, true);
    ASSERT_TRUE(RunUntil([&] { return Weighings() == Registers(); }, 20s));
    net::BrokerClient thief(loop_);
    const net::BrokerOptions options = ClientOptions("ledger", true);
    std::unique_ptr<Timer> again;
    thief.on_lost = [&, options](const std::string&) {
        again = loop_.StartTimer(100ms, [&thief, options] { thief.Connect(options); });
    };
    thief.Connect(options);
    ASSERT_TRUE(RunUntil(
        [&] {
            const ledger::LedgerHealth health = health_.Snapshot();
            return health.broker_taken_over && !health.Healthy() &&
                   ledger::HealthJson(health).find(R"("broker":"taken over")") != std::string::npos;
        },
        30s))
        << testing::PrintToString(ledger_log_);
    net::BrokerClient watcher(loop_);  // sees the weighings reach the broker
    std::size_t seen = 0;
    watcher.on_connected = [&] { watcher.Subscribe("plant/room1/+/weighing", 1); };
    watcher.on_message = [&](const std::string&, const std::string&, bool) { ++seen; };
    watcher.Connect(ClientOptions("watcher"));
    ASSERT_TRUE(RunUntil([&] { return watcher.Connected(); }, 10s));
    loop_.RunUntil([] { return false; }, 100ms);  // the subscription in place
    for (int i = 0; i < 300; ++i) {
        AppendLineToFile(room.dir / "202612.txt",
                         ComposeRegisterLine({2026, 12, 9, 8, 0, i % 60, 0}, ':', 1, "new"));
        room.publisher->WeighingSaved();
        loop_.RunOnce(0ms);
    }
    const Rows registers = Registers();
    ASSERT_TRUE(RunUntil([&] { return seen >= 300; }, 20s));
    thief.on_lost = nullptr;
    thief.Disconnect();
    again.reset();
    const auto whole = [&] {
        return health_.Reachable().broker_connected && Weighings() == registers;
    };
    for (int minute = 0; minute < 3 && !whole(); ++minute) {
        PassMinute();
        RunUntil(whole, 5s);
    }
    EXPECT_EQ(Weighings(), registers) << testing::PrintToString(ledger_log_);
    EXPECT_FALSE(health_.Snapshot().broker_taken_over);
}

// Another room's login sending a station's ids: refused where a client id must be its room's
// name; taken first-come otherwise, until the operator releases that room as forged (its rows
// kept in `rejected`), after which the real station's replay fills the ids.
TEST_P(LedgerTest, AnotherRoomsIdsAreRefusedOrReleasedAsForgedAndFilledByTheRealRoom) {
    net::BrokerClient squatter(loop_);
    squatter.Connect(ClientOptions("room3"));
    ASSERT_TRUE(RunUntil([&] { return squatter.Connected(); }, 10s));
    ASSERT_TRUE(squatter.Publish("plant/room3/status", "online", 1, true));
    const auto forge = [&] {
        ASSERT_TRUE(squatter.Publish(
            "plant/room3/waga1/weighing",
            R"({"id":"c-room2/202612/0","scale":1,"reading":"1","time":null,"line":"forged"})", 1,
            false));
    };
    const auto rejected = [&](const char* reason) {
        return RunUntil(
            [&] {
                const auto rows = Query("SELECT reason FROM rejected");
                return std::any_of(rows.begin(), rows.end(), [&](const ledger::Row& row) {
                    return row[0]->find(reason) != std::string::npos;
                });
            },
            10s);
    };
    auto settings = Settings();
    settings.client_id_is_room = true;
    const auto start = [&] {
        ledger_ = std::make_unique<ledger::Ledger>(
            loop_, settings, [this](const std::string& line) { ledger_log_.push_back(line); });
        ASSERT_TRUE(
            RunUntil([&] { return Query("SELECT station FROM stations").size() == 1; }, 10s));
    };
    start();
    forge();
    ASSERT_TRUE(rejected("not the room's name"));
    ledger_.reset();
    settings.client_id_is_room = false;
    start();
    forge();
    ASSERT_TRUE(RunUntil([&] { return Weighings().size() == 1; }, 10s));
    AddStation("room2", 3, true);
    ASSERT_TRUE(rejected("claimed by station room3"));
    ledger_.reset();
    {
        const auto database = ledger::OpenDatabase(Url(), "");
        EXPECT_EQ(ledger::LedgerTables(*database).ReleaseForged("room3", "plant", "now"), 1u);
    }
    EXPECT_EQ(Query("SELECT topic FROM rejected WHERE payload LIKE '%\"forged\"%' AND reason LIKE "
                    "'%released as forged'"),
              (std::vector<ledger::Row>{{"plant/room3/waga1/weighing"}}));
    ledger_ = std::make_unique<ledger::Ledger>(
        loop_, settings, [this](const std::string& line) { ledger_log_.push_back(line); });
    PassMinute();  // the station's minute between replays
    EXPECT_TRUE(RunUntil([&] { return Weighings() == Registers(); }, 20s))
        << testing::PrintToString(ledger_log_);
}

INSTANTIATE_TEST_SUITE_P(Databases, LedgerTest, ::testing::Values("sqlite", "postgresql"),
                         DatabaseName);

}  // namespace
}  // namespace station::test
