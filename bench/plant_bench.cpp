// A plant: N stations (the real publisher on real register files, in this process, no windows),
// one real broker, and the ledger program on SQLite, then on PostgreSQL: (a) a fresh database
// filling from the registers, (b) the ledger restarted with nothing missing, (c) the ledger
// restarted after the broker lost its session while 10 stations saved 100 weighings each. For
// each: the weighing messages the ledger took (written new or held already), the time to converge
// and the ledger's peak memory. Exits non-zero unless every scenario ends with each register line
// held exactly once.
//   plant_bench [STATIONS] [DAYS] [PER_DAY]   (defaults 100, 60, 500)
#include <httplib.h>
#include <sys/types.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/poll_loop.h"
#include "core/register/register_line.h"
#include "core/register/register_reader.h"
#include "core/register/weighing_register.h"
#include "ledger/database.h"
#include "protocol/replay_request.h"
#include "service/publisher.h"
#include "tests/core/fakes.h"
#include "tests/support/child_process.h"
#include "tests/support/mqtt_broker.h"
#include "tests/support/postgres_cluster.h"

namespace {

using namespace station;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr std::size_t kMissingStations = 10;
constexpr std::size_t kMissingEach = 100;

double Seconds(Clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

struct Station {
    test::TempDir dir;
    test::FakeClock clock;
    TransmissionLog log{clock};
    std::unique_ptr<Publisher> publisher;
    std::size_t waiting = 0;
};

// Every station's register: DAYS days back from 8 December, PER_DAY weighings a day, all of
// them delivered before the ledger existed.
void WriteRegister(Station& station, int days, int per_day) {
    std::map<std::string, std::string> months;
    for (int day = 0; day < days; ++day) {
        const int serial = 60 - days + day;  // days before 8 December, ending there
        const int month = serial < 30 ? 10 : serial < 60 ? 11 : 12;
        const int of_month = serial % 30 + 1;
        for (int i = 0; i < per_day; ++i) {
            months["2026" + std::to_string(month) + ".txt"] +=
                ComposeRegisterLine({2026, month, of_month, 6 + i / 60 % 14, i % 60, day % 60, 0},
                                    ':', 1 + i % 4, std::to_string(i)) +
                std::string(kRegisterLineEnd);
        }
    }
    for (const auto& [name, text] : months) {
        test::WriteFile(station.dir / name, text);
    }
    const RegisterPosition end = RegisterEnd(station.dir.Path());
    test::WriteFile(station.dir / "publikacja.stan",
                    end.file_name + " " + std::to_string(end.offset) + "\n");
}

class Plant {
public:
    Plant(int stations, int days, int per_day)
        : broker_("allow_anonymous true\npersistence false\n"),
          stations_(static_cast<std::size_t>(stations)) {
        for (int i = 0; i < stations; ++i) {
            Station& station = stations_[static_cast<std::size_t>(i)];
            WriteRegister(station, days, per_day);
            PublishSettings settings;
            settings.broker = "127.0.0.1";
            settings.port = broker_.Port();
            settings.topic = "plant/room" + std::to_string(i);
            settings.client_id = "room" + std::to_string(i);
            station.publisher = std::make_unique<Publisher>(
                loop_, station.log, settings, station.dir.Path(),
                LocalTime{2026, 12, 8, 9, 0, 0, 0},
                [&station](const Publisher::Status& status) { station.waiting = status.waiting; });
        }
        lines_ = static_cast<std::size_t>(stations) * static_cast<std::size_t>(days) *
                 static_cast<std::size_t>(per_day);
    }

    // One database: the three scenarios; false when a register line is not held exactly once.
    bool Run(const char* name, const std::string& url) {
        test::WriteFile(dir_ / "ledger.ini",
                        "[Broker]\nbroker=127.0.0.1\nport=" + std::to_string(broker_.Port()) +
                            "\ntopic=plant\nclient_id=ledger\n[Baza]\nurl=" + url +
                            "\n[Strona]\nlisten=127.0.0.1:0\nfiles=" + PAGE_FILES +
                            "\n[Odtwarzanie]\nfirst_month=202610\n");
        url_ = url;
        bool exact = Scenario(name, "(a) a fresh database", [] {});
        exact &= Scenario(name, "(b) a restart, nothing missing", [] {});
        exact &= Scenario(name, "(c) a restart after a broker that lost its session",
                          [this] { LoseWeighingsAtTheBroker(); });
        return exact;
    }

private:
    // Starts the ledger, runs until it holds every line and every station has taken its
    // request, then a second more: what it took meanwhile is what was sent.
    bool Scenario(const char* database, const char* name, const std::function<void()>& before) {
        before();
        const std::size_t held = lines_;
        loop_.Advance(protocol::kReplayInterval);  // each station may replay at once
        std::vector<std::size_t> asked;
        for (Station& station : stations_) {
            asked.push_back(Asked(station));
        }
        std::filesystem::remove(dir_ / "ledger.log");
        const pid_t ledger =
            test::Spawn({LEDGER_PROGRAM, "--config", dir_ / "ledger.ini"}, dir_ / "ledger.log");
        const auto start = Clock::now();
        int port = 0;
        while (port == 0 && Clock::now() - start < 10s) {
            loop_.RunUntil([] { return false; }, 50ms);
            const std::string log = test::ReadFile(dir_ / "ledger.log");
            constexpr std::string_view kPage = "page on http://127.0.0.1:";
            const std::size_t at = log.find(kPage);
            port = at == std::string::npos ? 0 : std::atoi(log.c_str() + at + kPage.size());
        }
        httplib::Client page("127.0.0.1", port);
        const auto taken = [&] {
            const auto metrics = page.Get("/metrics");
            return metrics
                       ? Counter(metrics->body, "tarvelio_ledger_weighings_stored_total ") +
                             Counter(metrics->body, "tarvelio_ledger_weighings_held_already_total ")
                       : 0;
        };
        const auto converged = [&] {
            for (std::size_t i = 0; i < stations_.size(); ++i) {
                if (Asked(stations_[i]) == asked[i]) {
                    return false;
                }
            }
            return Held() == held;
        };
        auto looked = Clock::now();
        loop_.RunUntil(
            [&] {
                if (Clock::now() - looked < 100ms) {
                    return false;
                }
                looked = Clock::now();
                return converged();
            },
            30min);
        const double seconds = Seconds(Clock::now() - start);
        loop_.RunUntil([] { return false; }, 1s);
        const std::size_t messages = taken();
        const long peak = PeakKilobytes(ledger);
        test::EndChild(ledger, "tarvelio-ledger", SIGTERM);
        const std::size_t now_held = Held();
        const bool kept = test::ReadFile(dir_ / "ledger.log").find("kept the ledger's session") !=
                          std::string::npos;
        std::printf(
            "%s, %zu stations, %s: %zu weighing messages taken, converged in %.2f s, "
            "the ledger's peak memory %ld KiB; %zu of %zu lines held; the broker %s\n",
            database, stations_.size(), name, messages, seconds, peak, now_held, held,
            kept ? "kept the ledger's session" : "had no session for the ledger");
        std::fflush(stdout);
        return now_held == held;
    }

    // While the ledger is away, 10 stations save 100 weighings each, which wait at the broker
    // for the ledger's session; the broker then restarts without them.
    void LoseWeighingsAtTheBroker() {
        const std::size_t missing = std::min<std::size_t>(kMissingStations, stations_.size());
        for (std::size_t i = 0; i < missing; ++i) {
            Station& station = stations_[i];
            for (std::size_t n = 0; n < kMissingEach; ++n) {
                AppendLineToFile(
                    station.dir / "202612.txt",
                    ComposeRegisterLine({2026, 12, 8, 20, static_cast<int>(n % 60), 0, 0}, ':', 1,
                                        "9"));
            }
            station.publisher->WeighingSaved();
        }
        lines_ += missing * kMissingEach;
        loop_.RunUntil(
            [&] {
                for (std::size_t i = 0; i < missing; ++i) {
                    if (stations_[i].waiting > 0) {
                        return false;
                    }
                }
                return true;
            },
            1min);
        broker_.Stop();
        broker_.Start();
    }

    static std::size_t Asked(const Station& station) {
        std::size_t count = 0;
        for (const std::string& line : station.log.Lines()) {
            count += line.find("replay asked from") != std::string::npos;
        }
        return count;
    }

    std::size_t Held() const {
        return std::stoul(ledger::OpenDatabase(url_, "")
                              ->Query("SELECT COUNT(*) FROM weighings", {})[0][0]
                              .value_or("0"));
    }

    static std::size_t Counter(const std::string& metrics, const std::string& name) {
        const std::size_t at = metrics.find("\n" + name);
        // Large counts are written as "3e+06".
        return at == std::string::npos
                   ? 0
                   : static_cast<std::size_t>(std::stod(metrics.substr(at + 1 + name.size())));
    }

    static long PeakKilobytes(pid_t pid) {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        for (std::string line; std::getline(status, line);) {
            if (line.starts_with("VmHWM:")) {
                return std::stol(line.substr(6));
            }
        }
        return 0;
    }

    test::MqttBroker broker_;
    test::TempDir dir_;
    PollLoop loop_;
    std::vector<Station> stations_;
    std::size_t lines_ = 0;  // in the registers
    std::string url_;
};

}  // namespace

int main(int argc, char** argv) {
    const int stations = argc > 1 ? std::stoi(argv[1]) : 100;
    const int days = argc > 2 ? std::stoi(argv[2]) : 60;
    const int per_day = argc > 3 ? std::stoi(argv[3]) : 500;
    Plant plant(stations, days, per_day);
    bool exact = true;
    {
        test::TempDir dir;
        exact &= plant.Run("SQLite", "sqlite:" + dir / "ledger.sqlite");
    }
    {
        test::PostgresCluster cluster;
        exact &= plant.Run("PostgreSQL", cluster.Url());
    }
    return exact ? 0 : 1;
}
