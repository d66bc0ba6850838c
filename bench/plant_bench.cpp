// A plant: N stations (the real publisher on real register files, in this process, no windows),
// one real broker, and the ledger program on SQLite, then on PostgreSQL: (a) a fresh database
// filling from the registers, (b) the ledger restarted with nothing missing, (c) the ledger
// restarted after the broker lost its session while 10 stations saved 100 weighings each, (d) two
// ledgers sharing the flow, one killed and started again. For each: the weighing messages the
// ledgers took (written new or held already), the time to converge and the peak memory. Exits
// non-zero unless every scenario ends with each register line held exactly once.
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
#include <string_view>
#include <vector>

#include "base/poll_loop.h"
#include "bench/ledger_page_port.h"
#include "core/register/register_line.h"
#include "core/register/register_reader.h"
#include "core/register/weighing_register.h"
#include "ledger/store/database.h"
#include "ledger/store/open_database.h"
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
constexpr std::size_t kSharedEach = 200;

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
                    end.FileName() + " " + std::to_string(end.offset) + "\n");
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

    // One database: the four scenarios; false when a register line is not held exactly once.
    bool Run(const char* name, const std::string& url) {
        url_ = url;
        WriteSettings("ledger", "");
        bool exact = Scenario(name, "(a) a fresh database", [] {});
        exact &= Scenario(name, "(b) a restart, nothing missing", [] {});
        exact &= Scenario(name, "(c) a restart after a broker that lost its session",
                          [this] { LoseWeighingsAtTheBroker(); });
        exact &= Shared(name);
        return exact;
    }

private:
    struct LedgerProcess {
        pid_t pid = 0;
        int port = 0;  // its page's, which gives its metrics
    };

    // `name`.ini beside `name`.log; the name is the client id.
    void WriteSettings(const std::string& name, const std::string& broker) {
        test::WriteFile(dir_ / (name + ".ini"),
                        "[Broker]\nbroker=127.0.0.1\nport=" + std::to_string(broker_.Port()) +
                            "\ntopic=plant\nclient_id=" + name + "\n" + broker + "[Baza]\nurl=" +
                            url_ + "\n[Strona]\nlisten=127.0.0.1:0\nfiles=" + PAGE_FILES +
                            "\n[Odtwarzanie]\nfirst_month=202610\n");
    }

    // Starts the ledger program on `name`.ini and runs the stations until its page answers.
    LedgerProcess StartLedger(const std::string& name) {
        const std::string log = dir_ / (name + ".log");
        std::filesystem::remove(log);
        LedgerProcess ledger{
            test::Spawn({LEDGER_PROGRAM, "--config", dir_ / (name + ".ini")}, log)};
        ledger.port = bench::WaitForPagePort(loop_, log);
        return ledger;
    }

    // A counter of the ledger's metrics; 0 when it does not answer.
    static std::size_t Metric(const LedgerProcess& ledger, const std::string& name) {
        httplib::Client page("127.0.0.1", ledger.port);
        const auto metrics = page.Get("/metrics");
        return metrics ? Counter(metrics->body, name) : 0;
    }

    // The weighing messages a ledger took: written new or held already.
    static std::size_t Taken(const LedgerProcess& ledger) {
        return Metric(ledger, "tarvelio_ledger_weighings_stored_total ") +
               Metric(ledger, "tarvelio_ledger_weighings_held_already_total ");
    }

    // Runs the stations until every one has taken a request since `asked` and every line is held.
    // The lines are counted in the database (a count over millions of rows, which would slow
    // what it measures) once the ledgers' metrics say they have written enough, or every 5 s.
    void RunUntilConverged(const std::vector<std::size_t>& asked,
                           const std::vector<const LedgerProcess*>& ledgers) {
        const std::size_t held_before = Held();
        const auto written_enough = [&] {
            std::size_t stored = held_before;
            for (const LedgerProcess* ledger : ledgers) {
                stored += Metric(*ledger, "tarvelio_ledger_weighings_stored_total ");
            }
            return stored >= lines_;
        };
        const auto converged = [&] {
            for (std::size_t i = 0; i < stations_.size(); ++i) {
                if (Asked(stations_[i]) == asked[i]) {
                    return false;
                }
            }
            return Held() == lines_;
        };
        auto looked = Clock::now();
        auto counted = Clock::now();
        loop_.RunUntil(
            [&] {
                if (Clock::now() - looked < 100ms) {
                    return false;
                }
                looked = Clock::now();
                if (!written_enough() && Clock::now() - counted < 5s) {
                    return false;
                }
                counted = Clock::now();
                return converged();
            },
            30min);
    }

    // Runs the stations until the ledgers have taken nothing more for a second: what a replay
    // sends after every line is held counts in the scenario that asked for it.
    void RunUntilQuiet(const std::vector<const LedgerProcess*>& ledgers) {
        const auto taken = [&] {
            std::size_t sum = 0;
            for (const LedgerProcess* ledger : ledgers) {
                sum += Taken(*ledger);
            }
            return sum;
        };
        std::size_t last = taken();
        auto since = Clock::now();
        loop_.RunUntil(
            [&] {
                if (const std::size_t now = taken(); now != last) {
                    last = now;
                    since = Clock::now();
                }
                return Clock::now() - since >= 1s;
            },
            5min);
    }

    // The replays each station has run so far.
    std::vector<std::size_t> Replays() const {
        std::vector<std::size_t> asked;
        for (const Station& station : stations_) {
            asked.push_back(Asked(station));
        }
        return asked;
    }

    // What each station has run once every station may replay at once.
    std::vector<std::size_t> AskedNow() {
        loop_.Advance(protocol::kReplayInterval);
        return Replays();
    }
    // Starts the ledger, runs until it holds every line and every station has taken its
    // request, then a second more: what it took meanwhile is what was sent.
    bool Scenario(const char* database, const char* name, const std::function<void()>& before) {
        before();
        const std::vector<std::size_t> asked = AskedNow();
        const auto start = Clock::now();
        const LedgerProcess ledger = StartLedger("ledger");
        RunUntilConverged(asked, {&ledger});
        const double seconds = Seconds(Clock::now() - start);
        RunUntilQuiet({&ledger});
        const std::size_t messages = Taken(ledger);
        const long peak = PeakKilobytes(ledger.pid);
        test::EndChild(ledger.pid, "tarvelio-ledger", SIGTERM);
        const std::size_t now_held = Held();
        const bool kept = test::ReadFile(dir_ / "ledger.log").find("kept the ledger's session") !=
                          std::string::npos;
        std::printf(
            "%s, %zu stations, %s: %zu weighing messages taken, converged in %.2f s, "
            "the ledger's peak memory %ld KiB; %zu of %zu lines held; the broker %s\n",
            database, stations_.size(), name, messages, seconds, peak, now_held, lines_,
            kept ? "kept the ledger's session" : "had no session for the ledger");
        std::fflush(stdout);
        return now_held == lines_;
    }

    // Two ledgers in one share group (sessions of their own, new to the broker) take the flow of
    // kSharedEach new weighings from every station; once the first of them are held the first
    // ledger is killed, then started again. Re-sent: what both took after the kill beyond what was
    // missing then (what the killed one had taken and not written, and what the broker still held
    // for it). Once all is held, the first is stopped and started once more: what that takes is
    // what a share group costs each restart.
    bool Shared(const char* database) {
        // Sessions of this database's run: the broker keeps the other's, and their queues.
        const std::string first_name = std::string("ledger-a-") + database;
        const std::string second_name = std::string("ledger-b-") + database;
        WriteSettings(first_name, "share=plant\n");
        WriteSettings(second_name, "share=plant\n");
        const std::vector<std::size_t> first_asked = AskedNow();
        LedgerProcess first = StartLedger(first_name);
        const LedgerProcess second = StartLedger(second_name);
        RunUntilConverged(first_asked, {&first, &second});  // one's first request answered
        const std::vector<std::size_t> answered = Replays();
        loop_.Advance(protocol::kReplayInterval);  // the other's, which waits for its interval
        RunUntilConverged(answered, {&first, &second});
        const std::size_t before = lines_;
        for (Station& station : stations_) {
            Save(station, kSharedEach, 21, 2, "5");
        }
        lines_ += stations_.size() * kSharedEach;
        loop_.RunUntil([&] { return Held() > before; }, 5min);
        test::EndChild(first.pid, "tarvelio-ledger", SIGKILL);
        const std::size_t second_before = Taken(second);
        const std::size_t missing = lines_ - Held();
        const std::vector<std::size_t> asked = AskedNow();
        const auto start = Clock::now();
        first = StartLedger(first_name);
        RunUntilConverged(asked, {&first, &second});
        const double seconds = Seconds(Clock::now() - start);
        RunUntilQuiet({&first, &second});
        const std::size_t after = Taken(first) + Taken(second) - second_before;
        long peak = std::max(PeakKilobytes(first.pid), PeakKilobytes(second.pid));
        test::EndChild(first.pid, "tarvelio-ledger", SIGTERM);
        const std::size_t second_again = Taken(second);
        const std::vector<std::size_t> asked_again = AskedNow();
        first = StartLedger(first_name);
        RunUntilConverged(asked_again, {&first, &second});
        RunUntilQuiet({&first, &second});
        const std::size_t again = Taken(first) + Taken(second) - second_again;
        peak = std::max({peak, PeakKilobytes(first.pid), PeakKilobytes(second.pid)});
        test::EndChild(first.pid, "tarvelio-ledger", SIGTERM);
        test::EndChild(second.pid, "tarvelio-ledger", SIGTERM);
        const std::size_t now_held = Held();
        std::printf(
            "%s, %zu stations, (d) two ledgers sharing the flow of %zu new weighings, one killed "
            "when the first were held and started again: %zu missing at the kill, %zu weighing "
            "messages taken after it (%zu re-sent), converged in %.2f s after the start again, "
            "started once more when all was held: %zu taken; the ledgers' peak memory %ld KiB; "
            "%zu of %zu lines held\n",
            database, stations_.size(), lines_ - before, missing, after,
            after > missing ? after - missing : 0, seconds, again, peak, now_held, lines_);
        std::fflush(stdout);
        // Each walks on over what the other wrote: a later restart asks for nothing held.
        return now_held == lines_ && again <= stations_.size();
    }

    // While the ledger is away, 10 stations save 100 weighings each, which wait at the broker
    // for the ledger's session; the broker then restarts without them.
    void LoseWeighingsAtTheBroker() {
        const std::size_t missing = std::min<std::size_t>(kMissingStations, stations_.size());
        for (std::size_t i = 0; i < missing; ++i) {
            Save(stations_[i], kMissingEach, 20, 1, "9");
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
        std::vector<std::size_t> sessions;
        for (const Station& station : stations_) {
            sessions.push_back(Said(station, ": connected"));
        }
        broker_.Stop();
        broker_.Start();
        // Every station back on the broker before the clock is moved on, so that the scenario
        // measures the ledger's restart, not the stations' waits between attempts.
        loop_.RunUntil(
            [&] {
                for (std::size_t i = 0; i < stations_.size(); ++i) {
                    if (Said(stations_[i], ": connected") == sessions[i]) {
                        return false;
                    }
                }
                return true;
            },
            1min);
    }

    // `count` weighings of `scale` saved on 8 December in the hour `hour`, and the station told.
    static void Save(Station& station, std::size_t count, int hour, int scale,
                     const char* reading) {
        for (std::size_t n = 0; n < count; ++n) {
            AppendLineToFile(
                station.dir / "202612.txt",
                ComposeRegisterLine({2026, 12, 8, hour, static_cast<int>(n % 60), 0, 0}, ':', scale,
                                    reading));
        }
        station.publisher->WeighingSaved();
    }

    // The station's log lines that hold `text`.
    static std::size_t Said(const Station& station, std::string_view text) {
        std::size_t count = 0;
        for (const std::string& line : station.log.Lines()) {
            count += line.find(text) != std::string::npos;
        }
        return count;
    }

    static std::size_t Asked(const Station& station) { return Said(station, "replay asked from"); }

    std::size_t Held() const {
        try {
            return std::stoul(ledger::OpenDatabase(url_, "")
                                  ->Query("SELECT COUNT(*) FROM weighings", {})[0][0]
                                  .value_or("0"));
        } catch (const ledger::DatabaseError&) {
            return 0;  // a ledger just started has not made its tables yet
        }
    }

    static std::size_t Counter(const std::string& metrics, const std::string& name) {
        const std::size_t at = metrics.find("\n" + name);
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
