// The plant page under load: 1,000,000 weighings in SQLite and in PostgreSQL (100 days, four
// rooms), the day view's answer time (median of 21) and the export of a month in rows per
// second; then the ledger program serving 50 open live pages while 4 stations x 4 scales send 5
// states a second each, and the share of one core it used. Prints one line per figure.
//   page_bench [WEIGHINGS] [SECONDS]   (defaults 1000000 and 20)
#include <httplib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "base/poll_loop.h"
#include "ledger/page/page_request.h"
#include "ledger/page/plant_page.h"
#include "ledger/store/database.h"
#include "ledger/store/ledger_tables.h"
#include "ledger/store/open_database.h"
#include "net/broker_client.h"
#include "tests/support/child_process.h"
#include "tests/support/mqtt_broker.h"
#include "tests/support/postgres_cluster.h"

namespace {

using namespace station;
using Clock = std::chrono::steady_clock;
constexpr int kDays = 100;

double Seconds(Clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

void Fill(const std::string& url, int count) {
    const auto database = ledger::OpenDatabase(url, "");
    ledger::LedgerTables tables(*database);
    const ledger::Day first{2026, 8, 1};
    for (int done = 0; done < count;) {
        ledger::Batch batch;
        for (int i = 0; i < 5000 && done < count; ++i, ++done) {
            const ledger::Day day = ledger::Day::FromSerial(first.Serial() + done % kDays);
            char time[40];
            std::snprintf(time, sizeof time, "%sT%02d:%02d:%02d+01:00", day.Text().c_str(),
                          done / kDays % 24, done % 60, done / 7 % 60);
            const std::string room = "room" + std::to_string(done % 4 + 1);
            batch.weighings.push_back({room + "/" + std::to_string(done), room, room, 202612,
                                       done % 4 + 1, std::to_string(done % 5000),
                                       double(done % 5000), time, std::string(40, 'x'), time,
                                       room});
        }
        tables.Write(batch);
    }
    // What PostgreSQL's autovacuum does soon after a load, done at once: the planner's
    // statistics and the visibility map that lets a query read the index alone.
    if (!url.starts_with("sqlite:")) {
        database->Query("VACUUM ANALYZE weighings", {});
    }
}

void Pages(const std::string& name, const std::string& url, int count) {
    Fill(url, count);
    ledger::PageSettings settings;
    settings.port = 0;
    settings.files = PAGE_FILES;
    const ledger::PlantPage page(settings, url, "");
    httplib::Client client("127.0.0.1", page.Port());
    client.set_read_timeout(std::chrono::seconds(60));
    std::vector<double> times;
    for (int i = 0; i < 21; ++i) {
        const auto start = Clock::now();
        const auto answer = client.Get("/api/day?day=2026-09-15");
        if (!answer || answer->status != 200) {
            std::printf("%s: the day view failed\n", name.c_str());
            return;
        }
        times.push_back(Seconds(Clock::now() - start) * 1000);
    }
    std::sort(times.begin(), times.end());
    const auto start = Clock::now();
    const auto month = client.Get("/api/export.csv?from=2026-09-01&to=2026-09-30");
    const double seconds = Seconds(Clock::now() - start);
    const auto rows = std::count(month->body.begin(), month->body.end(), '\n') - 1;
    std::printf(
        "%s, %d weighings: day view median %.1f ms (1,000 rows and the day's sums), "
        "a month's CSV %ld rows at %.0f rows/s\n",
        name.c_str(), count, times[times.size() / 2], long(rows), double(rows) / seconds);
}

// utime + stime of a process, in seconds.
double CpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string field;
    double ticks = 0;
    for (int i = 1; stat >> field && i <= 15; ++i) {
        if (i == 14 || i == 15) {
            ticks += std::stod(field);
        }
    }
    return ticks / double(sysconf(_SC_CLK_TCK));
}

void LivePages(int seconds) {
    test::MqttBroker broker;
    test::TempDir dir;
    test::WriteFile(dir / "ledger.ini",
                    "[Broker]\nbroker=127.0.0.1\nport=" + std::to_string(broker.Port()) +
                        "\ntopic=plant\nclient_id=ledger\n[Baza]\nurl=sqlite:" + dir / "l.sqlite" +
                        "\n[Strona]\nlisten=127.0.0.1:0\nper_address=0\nfiles=" + PAGE_FILES +
                        "\n");
    const pid_t ledger = test::Spawn({LEDGER_PROGRAM, "--config", dir / "ledger.ini"}, dir / "log");
    int port = 0;
    for (int i = 0; i < 100 && port == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const std::string log = test::ReadFile(dir / "log");
        const std::size_t at = log.find("127.0.0.1:");
        port = at == std::string::npos ? 0 : std::atoi(log.c_str() + at + 10);
    }
    std::atomic<bool> stop{false};
    std::atomic<long> events{0};
    constexpr int kPages = 50;
    std::vector<std::thread> pages;
    pages.reserve(kPages);
    for (int i = 0; i < kPages; ++i) {
        pages.emplace_back([&] {
            httplib::Client client("127.0.0.1", port);
            client.Get("/api/live", [&](const char* data, std::size_t length) {
                events += std::count(data, data + length, '\n') / 2;
                return !stop;
            });
        });
    }
    PollLoop loop;
    net::BrokerClient stations(loop);
    net::BrokerOptions options;
    options.host = "127.0.0.1";
    options.port = broker.Port();
    options.client_id = "stations";
    stations.Connect(options);
    loop.RunUntil([&] { return stations.Connected(); }, std::chrono::seconds(10));
    const double cpu_before = CpuSeconds(ledger);
    const auto start = Clock::now();
    for (int tick = 0; Clock::now() - start < std::chrono::seconds(seconds); ++tick) {
        for (int station = 1; station <= 4; ++station) {
            for (int scale = 1; scale <= 4; ++scale) {
                stations.Publish("plant/room" + std::to_string(station) + "/waga" +
                                     std::to_string(scale) + "/state",
                                 R"({"connected":true,"reading":")" + std::to_string(tick) +
                                     R"(","motion":false,"range":"ok","time":"x"})",
                                 0, true);
            }
        }
        loop.RunUntil([] { return false; }, std::chrono::milliseconds(200));
    }
    const double used = (CpuSeconds(ledger) - cpu_before) / Seconds(Clock::now() - start);
    stop = true;
    test::EndChild(ledger, "tarvelio-ledger", SIGTERM);
    for (auto& page : pages) {
        page.join();
    }
    std::printf(
        "50 live pages, 4 stations x 4 scales at 5 states/s for %d s: the ledger used "
        "%.1f %% of one core; %ld events reached the pages\n",
        seconds, used * 100, events.load());
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::stoi(argv[1]) : 1000000;
    const int seconds = argc > 2 ? std::stoi(argv[2]) : 20;
    {
        test::TempDir dir;
        Pages("SQLite", "sqlite:" + dir / "ledger.sqlite", count);
    }
    {
        test::PostgresCluster cluster;
        Pages("PostgreSQL", cluster.Url(), count);
    }
    LivePages(seconds);
    return 0;
}
