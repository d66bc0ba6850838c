#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "base/poll_loop.h"
#include "core/register/register_line.h"
#include "core/register/register_reader.h"
#include "core/register/weighing_register.h"
#include "ledger/ledger_settings.h"
#include "ledger/store/database.h"
#include "ledger/store/ledger.h"
#include "ledger/store/open_database.h"
#include "net/broker_client.h"
#include "service/publisher.h"
#include "tests/core/fakes.h"
#include "tests/support/child_process.h"
#include "tests/support/mqtt_broker.h"
#include "tests/support/postgres_cluster.h"
#include "tests/support/signed_register.h"

namespace station::test {

// The ledger's world: a real broker, stations publishing their registers from folders of their
// own, and the database, SQLite or a throwaway PostgreSQL cluster, as the test's parameter says.
class LedgerFixture : public ::testing::TestWithParam<std::string> {
protected:
    using Rows = std::map<std::string, std::string>;  // id -> register line

    struct Station {
        TempDir dir;
        FakeClock clock;
        TransmissionLog log{clock};
        std::unique_ptr<Publisher> publisher;
    };

    void SetUp() override {
        if (GetParam() == "postgresql") {
            cluster_.emplace();
        }
    }

    std::string Url() const {
        return cluster_ ? cluster_->Url() : "sqlite:" + dir_ / "ledger.sqlite";
    }

    ledger::LedgerSettings Settings(int first_month = 202611) const {
        ledger::LedgerSettings settings;
        settings.broker.broker = "127.0.0.1";
        settings.broker.port = broker_.Port();
        settings.broker.topic = "plant";
        settings.broker.client_id = "ledger";
        settings.database_url = Url();
        settings.first_month = first_month;
        return settings;
    }

    // A client of the test's own on the broker, as a station, a stranger or a watcher.
    net::BrokerOptions ClientOptions(const std::string& client_id,
                                     bool keep_session = false) const {
        net::BrokerOptions options;
        options.host = "127.0.0.1";
        options.port = broker_.Port();
        options.client_id = client_id;
        options.keep_session = keep_session;
        return options;
    }

    void StartLedger() {
        ledger_ = std::make_unique<ledger::Ledger>(
            loop_, Settings(), [this](const std::string& line) { ledger_log_.push_back(line); });
    }

    // A station publishing as "plant/NAME" with client id "c-NAME"; `lines` per month file
    // ("202611.txt"), all counted delivered already unless `pending`; to the broker at `port`
    // (0: the ledger's).
    Station& AddStation(const std::string& name, int lines_per_month, bool pending, int port = 0) {
        auto& station = stations_[name];
        station = std::make_unique<Station>();
        for (const int month : {11, 12}) {
            const std::string file = station->dir / ("2026" + std::to_string(month) + ".txt");
            for (int i = 0; i < lines_per_month; ++i) {
                AppendLineToFile(
                    file, ComposeRegisterLine({2026, month, 1 + i % 28, 8, 0, i % 60, 0}, ':',
                                              1 + i % 4, std::to_string(i)));
            }
        }
        if (!pending) {
            const RegisterPosition end = RegisterEnd(station->dir.Path());
            WriteFile(station->dir / "publikacja.stan",
                      end.FileName() + " " + std::to_string(end.offset) + "\n");
        } else {
            WriteFile(station->dir / "publikacja.stan", " 0\n");
        }
        StartPublisher(name, port);
        return *station;
    }

    // Signs the registers of station `name` with `key`, as its register's writer would have: each
    // month's evidence beside it.
    void SignRegisters(const std::string& name, const KeyPair& key) {
        for (const auto& file :
             std::filesystem::directory_iterator(stations_.at(name)->dir.Path())) {
            if (Month::OfFileName(file.path().filename().string())) {
                SignRegister(file.path(), key);
            }
        }
    }

    // The station's publisher (again), from where its folder says it stands, on the broker at
    // `port` (0: the ledger's).
    void StartPublisher(const std::string& name, int port = 0) {
        Station& station = *stations_.at(name);
        PublishSettings settings;
        settings.broker = "127.0.0.1";
        settings.port = port != 0 ? port : broker_.Port();
        settings.topic = "plant/" + name;
        settings.client_id = "c-" + name;
        station.publisher = std::make_unique<Publisher>(
            loop_, station.log, settings, station.dir.Path(), LocalTime{2026, 12, 8, 9, 0, 0, 0},
            [](const Publisher::Status&) {});
    }

    // Stops every station and waits until what they sent has reached the running ledger (which
    // writes to `health_`) rather than the broker's session for the next one, where it would
    // undo what a test then changes in the database. A marker sent after them is heard after
    // them, and the minute after it writes every batch.
    void StopStationsAndDrain() {
        for (auto& [name, station] : stations_) {
            station->publisher.reset();
        }
        const auto markers = [&] { return health_.Snapshot().rejected["not JSON"]; };
        const std::uint64_t before = markers();
        ASSERT_TRUE(RunToEnd(
            {"mosquitto_pub", "-h", "127.0.0.1", "-p", std::to_string(broker_.Port()), "-t",
             "plant/" + stations_.begin()->first + "/waga1/weighing", "-m", "{", "-q", "1"},
            dir_ / "marker.log"));
        ASSERT_TRUE(RunUntil([&] { return markers() == before + 1; }, std::chrono::seconds(10)));
        PassMinute();
    }

    // What every station's register holds, by the ids the ledger keeps.
    Rows Registers() const {
        Rows rows;
        for (const auto& [name, station] : stations_) {
            for (const RegisterEntry& entry :
                 ReadRegisterAfter(station->dir.Path(), {}, 1000000).entries) {
                rows["c-" + name + "/" + entry.start.FileName().substr(0, 6) + "/" +
                     std::to_string(entry.start.offset)] = entry.line;
            }
        }
        return rows;
    }

    // What the ledger's database holds.
    std::vector<ledger::Row> Query(const char* sql) const {
        return ledger::OpenDatabase(Url(), "")->Query(sql, {});
    }
    Rows Weighings() const {
        Rows rows;
        for (const ledger::Row& row : Query("SELECT id, line FROM weighings")) {
            rows[row[0].value_or("")] = row[1].value_or("");
        }
        return rows;
    }

    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
        return loop_.RunUntil(done, limit);
    }

    // A minute of the loop's time, a second at a time, so that connections under way and their
    // keep-alives go on as they would.
    void PassMinute() {
        for (int second = 0; second <= 60; ++second) {
            loop_.Advance(std::chrono::seconds(1));
            loop_.RunUntil([] { return false; }, std::chrono::milliseconds(20));
        }
    }

    TempDir dir_;
    std::optional<PostgresCluster> cluster_;
    MqttBroker broker_;
    PollLoop loop_;
    std::map<std::string, std::unique_ptr<Station>> stations_;
    std::vector<std::string> ledger_log_;
    ledger::HealthBoard health_;  // before the ledger, which writes to it until it ends
    std::unique_ptr<ledger::Ledger> ledger_;
};

inline std::string DatabaseName(const ::testing::TestParamInfo<std::string>& info) {
    return info.param;
}

}  // namespace station::test
