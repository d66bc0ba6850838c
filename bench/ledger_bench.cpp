// The ledger's rates: rows written into each database in the ledger's transactions of
// Ledger::kBatchRows; a replay end to end (a station's register, through a real broker and the
// ledger, to rows); and a backlog waiting at the broker for the ledger's session, drained into
// rows. In weighings per second; the station and the ledger each run a loop of their own, as
// they run programs of their own. Prints one line per database. With "signed", the station's
// register is signed and the ledger verifies every seal.
//   ledger_bench [WEIGHINGS] [sqlite|postgresql|both] [signed]   (default 20000, both, unsigned)
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/poll_loop.h"
#include "common/clock.h"
#include "core/reading/transmission_log.h"
#include "core/register/register_line.h"
#include "core/register/register_reader.h"
#include "core/register/weighing_register.h"
#include "ledger/ledger_settings.h"
#include "ledger/store/database.h"
#include "ledger/store/ledger.h"
#include "ledger/store/ledger_health.h"
#include "ledger/store/ledger_tables.h"
#include "ledger/store/open_database.h"
#include "service/publisher.h"
#include "tests/support/mqtt_broker.h"
#include "tests/support/postgres_cluster.h"
#include "tests/support/signed_register.h"

namespace {

using namespace station;
using Clock = std::chrono::steady_clock;

class FixedClock final : public station::Clock {
public:
    LocalTime Local() override { return {2026, 12, 8, 9, 0, 0, 0}; }
    std::time_t Seconds() override { return 1796716800; }  // the same morning
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

// A station on the main thread with `count` weighings in its register, all delivered (its state
// file at the end) unless `delivered` is false; a ledger is run beside it by RunLedger.
class Bench {
public:
    Bench(const std::string& url, int count, bool delivered, bool sign) : url_(url) {
        // Written at once (the rates are measured, not the saves), in time order as a register
        // is, spread over the month's first 28 days; signed, with its evidence beside it.
        std::string month;
        for (int i = 0; i < count; ++i) {
            const long second = 28L * 24 * 3600 * i / count;
            month +=
                ComposeRegisterLine({2026, 12, 1 + int(second / 86400), int(second / 3600 % 24),
                                     int(second / 60 % 60), int(second % 60), 0},
                                    ':', 1 + i % 4, std::to_string(i));
            month += kRegisterLineEnd;
        }
        test::WriteFile(registers_ / "202612.txt", month);
        if (sign) {
            test::SignRegister(registers_ / "202612.txt", NewKeyPair());
        }
        const RegisterPosition from =
            delivered ? RegisterEnd(registers_.Path()) : RegisterPosition{Month::Of(2026, 12), 0};
        test::WriteFile(registers_ / "publikacja.stan",
                        from.FileName() + " " + std::to_string(from.offset) + "\n");
        settings_.broker.broker = "127.0.0.1";
        settings_.broker.port = broker_.Port();
        settings_.broker.topic = "plant";
        settings_.broker.client_id = "ledger";
        settings_.database_url = url;
        settings_.first_month = 202612;
        settings_.verify_seals = sign;
    }

    void StartStation() {
        PublishSettings station;
        station.broker = "127.0.0.1";
        station.port = broker_.Port();
        station.topic = "plant/room";
        station.client_id = "room";
        publisher_ = std::make_unique<Publisher>(
            loop_, log_, station, registers_.Path(), clock_.Local(),
            [this](const Publisher::Status& status) { waiting_ = status.waiting; });
    }
    // Runs the station until the broker has every weighing of its register, then ends it.
    void DeliverAll() {
        loop_.RunUntil([this] { return waiting_ == 0; }, std::chrono::minutes(2));
        publisher_.reset();
    }

    struct Run {
        double rate;          // weighings per second from the ledger's start
        double write_share;   // of its time, in the database's transactions
        double cpu_per_each;  // of its thread, microseconds a weighing
    };
    // Runs a ledger on a thread of its own until it has written every weighing, or only until it
    // has its session when `count` is 0.
    Run RunLedger(int count) {
        std::atomic<int> held{0};
        std::atomic<bool> stop{false};
        Clock::time_point done;  // set before `held` reaches `count`
        double write_seconds = 0;
        double cpu_seconds = 0;
        const auto start = Clock::now();
        std::thread runner([&] {
            PollLoop loop;
            ledger::HealthBoard health;
            ledger::Ledger ledger(
                loop, settings_, [](const std::string&) {},
                [&](const ledger::Batch& batch) {
                    if (held + static_cast<int>(batch.weighings.size()) >= count &&
                        done == Clock::time_point{}) {
                        done = Clock::now();
                    }
                    held += static_cast<int>(batch.weighings.size());
                },
                {}, &health);
            if (count == 0) {  // connected, and its subscriptions taken in
                loop.RunUntil([&] { return health.Reachable().broker_connected; },
                              std::chrono::seconds(10));
                loop.RunUntil([] { return false; }, std::chrono::milliseconds(300));
                done = Clock::now();
                held = 1;
            }
            loop.RunUntil([&] { return stop.load(); }, std::chrono::minutes(2));
            write_seconds = health.Snapshot().write_seconds;
            rusage usage{};
            getrusage(RUSAGE_THREAD, &usage);
            cpu_seconds =
                Seconds(std::chrono::seconds(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                        std::chrono::microseconds(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec));
        });
        loop_.RunUntil([&] { return held >= std::max(count, 1); }, std::chrono::minutes(2));
        stop = true;
        runner.join();
        const double seconds = Seconds(done - start);
        return {held / seconds, write_seconds / seconds, cpu_seconds * 1e6 / held};
    }

    // The station is known from the start, so the ledger asks it for its register at once.
    void KnowTheStation() {
        const auto database = ledger::OpenDatabase(url_, "");
        ledger::LedgerTables tables(*database);
        database->Transact({{"INSERT INTO stations (station) VALUES ($1)", {std::string("room")}}});
    }

private:
    std::string url_;
    test::TempDir registers_;
    test::MqttBroker broker_;
    PollLoop loop_;
    FixedClock clock_;
    TransmissionLog log_{clock_};
    std::unique_ptr<Publisher> publisher_;
    std::size_t waiting_ = 1;
    ledger::LedgerSettings settings_;
};

// Weighings per second from a station's register to the ledger's rows, by a replay.
double ReplayRate(const std::string& url, int count, bool sign) {
    Bench bench(url, count, true, sign);
    bench.KnowTheStation();
    bench.StartStation();
    return bench.RunLedger(count).rate;
}

// From the broker's queue for the ledger's session to rows: the session is made, the station
// delivers its register while the ledger is away, then the ledger starts.
Bench::Run Drain(const std::string& url, int count, bool sign) {
    Bench bench(url, count, false, sign);
    bench.RunLedger(0);
    bench.StartStation();
    bench.DeliverAll();
    return bench.RunLedger(count);
}

void Measure(const char* name, const std::string& write_url, const std::string& replay_url,
             const std::string& drain_url, int count, bool sign) {
    const double write = WriteRate(write_url, 5 * count);
    const double replay = ReplayRate(replay_url, count, sign);
    const Bench::Run drain = Drain(drain_url, count, sign);
    std::printf(
        "ledger on %s: rows written %.0f/s (median of transactions of %zu), replay end to end "
        "%.0f weighings/s, a backlog at the broker drained at %.0f weighings/s (%d; %.0f %% of "
        "the time in the database's transactions, the ledger's thread %.1f us CPU a weighing)%s\n",
        name, write, ledger::Ledger::kBatchRows, replay, drain.rate, count, 100 * drain.write_share,
        drain.cpu_per_each, sign ? "; signed, every seal verified" : "");
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::stoi(argv[1]) : 20000;
    const std::string only = argc > 2 && std::string(argv[2]) != "both" ? argv[2] : "";
    const bool sign = argc > 3 && std::string(argv[3]) == "signed";
    if (only.empty() || only == "sqlite") {
        test::TempDir dir;
        Measure("SQLite", "sqlite:" + dir / "write.sqlite", "sqlite:" + dir / "replay.sqlite",
                "sqlite:" + dir / "drain.sqlite", count, sign);
    }
    if (only.empty() || only == "postgresql") {
        test::PostgresCluster write;
        const std::string write_url = write.Url();
        test::PostgresCluster replay;
        test::PostgresCluster drain;
        Measure("PostgreSQL", write_url, replay.Url(), drain.Url(), count, sign);
    }
    return 0;
}
