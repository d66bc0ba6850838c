// The ledger's rates: rows written into each database in the ledger's transactions of
// Ledger::kBatchRows, and a replay end to end (a station's register, through a real broker and
// the ledger, to rows), in weighings per second. Prints one line per database.
//   ledger_bench [WEIGHINGS]   (default 20000)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "base/poll_loop.h"
#include "core/clock.h"
#include "core/reading/transmission_log.h"
#include "core/register/register_line.h"
#include "core/register/register_reader.h"
#include "core/register/weighing_register.h"
#include "ledger/database.h"
#include "ledger/ledger.h"
#include "ledger/ledger_tables.h"
#include "service/publisher.h"
#include "tests/support/mqtt_broker.h"
#include "tests/support/postgres_cluster.h"

namespace {

using namespace station;
using Clock = std::chrono::steady_clock;

class FixedClock final : public station::Clock {
public:
    LocalTime Now() override { return {2026, 12, 8, 9, 0, 0, 0}; }
};

double Seconds(Clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Rows per second, the median over transactions of kBatchRows fresh weighings.
double WriteRate(const std::string& url, int count) {
    const auto database = ledger::OpenDatabase(url, "");
    ledger::LedgerTables tables(*database);
    std::vector<double> rates;
    for (int done = 0; done < count;) {
        ledger::Batch batch;
        for (std::size_t i = 0; i < ledger::Ledger::kBatchRows; ++i, ++done) {
            batch.weighings.push_back({"w/202612/" + std::to_string(done), "room", "w", 202612,
                                       1 + done % 4, std::to_string(done), double(done),
                                       "2026-12-08T09:00:00+01:00", std::string(60, 'x'),
                                       "2026-12-08T09:00:01+01:00", "plant/room/waga1/weighing"});
        }
        const auto start = Clock::now();
        tables.Write(batch);
        rates.push_back(double(batch.weighings.size()) / Seconds(Clock::now() - start));
    }
    return Median(rates);
}

// Weighings per second from a station's register to the ledger's rows, by a replay; station,
// ledger and the counting share this one thread.
double ReplayRate(const std::string& url, int count) {
    test::TempDir registers;
    for (int i = 0; i < count; ++i) {
        AppendLineToFile(registers / "202612.txt",
                         ComposeRegisterLine({2026, 12, 1 + i % 28, 8, 0, i % 60, 0}, ':',
                                             1 + i % 4, std::to_string(i)));
    }
    const RegisterPosition end = RegisterEnd(registers.Path());
    test::WriteFile(registers / "publikacja.stan",
                    end.file_name + " " + std::to_string(end.offset) + "\n");
    test::MqttBroker broker;
    PollLoop loop;
    FixedClock clock;
    TransmissionLog log(clock);
    PublishSettings station;
    station.broker = "127.0.0.1";
    station.port = broker.Port();
    station.topic = "plant/room";
    station.client_id = "room";
    Publisher publisher(loop, log, station, registers.Path(), clock.Now(),
                        [](const Publisher::Status&) {});
    ledger::LedgerSettings settings;
    settings.broker.broker = "127.0.0.1";
    settings.broker.port = broker.Port();
    settings.broker.topic = "plant";
    settings.broker.client_id = "ledger";
    settings.database_url = url;
    settings.first_month = 202612;
    // The station is known from its status, then asked: the clock starts with the request.
    const auto database = ledger::OpenDatabase(url, "");
    ledger::LedgerTables tables(*database);
    database->Transact({{"INSERT INTO stations (station) VALUES ($1)", {std::string("room")}}});
    const auto start = Clock::now();
    ledger::Ledger ledger(loop, settings, [](const std::string&) {});
    auto held = [&] {
        return std::stoi(database->Query("SELECT COUNT(*) FROM weighings", {})[0][0].value_or("0"));
    };
    auto last_look = Clock::now();
    loop.RunUntil(
        [&] {
            if (Clock::now() - last_look < std::chrono::milliseconds(20)) {
                return false;
            }
            last_look = Clock::now();
            return held() >= count;
        },
        std::chrono::minutes(2));
    return held() / Seconds(Clock::now() - start);
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::stoi(argv[1]) : 20000;
    {
        test::TempDir dir;
        const std::string url = "sqlite:" + dir / "ledger.sqlite";
        const double write = WriteRate(url, 5 * count);
        test::TempDir replay_dir;
        const double replay = ReplayRate("sqlite:" + replay_dir / "ledger.sqlite", count);
        std::printf(
            "ledger on SQLite: rows written %.0f/s (median of transactions of %zu), "
            "replay end to end %.0f weighings/s (%d)\n",
            write, ledger::Ledger::kBatchRows, replay, count);
    }
    {
        test::PostgresCluster cluster;
        const double write = WriteRate(cluster.Url(), 5 * count);
        cluster.Stop();
        test::PostgresCluster replay_cluster;
        const double replay = ReplayRate(replay_cluster.Url(), count);
        std::printf(
            "ledger on PostgreSQL: rows written %.0f/s (median of transactions of %zu), "
            "replay end to end %.0f weighings/s (%d)\n",
            write, ledger::Ledger::kBatchRows, replay, count);
    }
    return 0;
}
