// A plant across two halls under faults dealt at random from a seed: stations (the real publisher
// on real register files, in this process, and one station program with its window, saved by
// clicks) saving all along into two hall brokers bridged by the README's drop-in to the plant's
// broker, each link through a relay that can be cut; two ledger programs sharing the flow;
// PostgreSQL with a streaming standby, both named in the ledgers' URL. Faults: a ledger, a broker
// or the station program killed (SIGKILL) and started again, a station's publisher ended and
// started again, a hall's link cut and healed, the primary killed and the standby promoted (the
// old one then copied back as the new standby), the primary's disk full for a while, page clients
// coming and going. Then everything
// heals and the checker compares the database with every register: each line once, with its unit,
// nothing else, and the page's day totals equal to the registers'. Exits non-zero otherwise.
//   chaos_bench [SECONDS] [SEED] [STATIONS]   (defaults 3600, the time, 10)
#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "base/poll_loop.h"
#include "bench/ledger_page_port.h"
#include "bench/small_disk.h"
#include "bench/window_station.h"
#include "core/register/register_reader.h"
#include "core/register/register_units.h"
#include "core/register/weighing_register.h"
#include "ledger/store/open_database.h"
#include "service/publisher.h"
#include "tests/core/fakes.h"
#include "tests/support/child_process.h"
#include "tests/support/mqtt_broker.h"
#include "tests/support/postgres_cluster.h"
#include "tests/support/readme_hall.h"
#include "tests/support/tcp_relay.h"

namespace {

using namespace station;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kHalls = 2;
constexpr int kDays = 3;  // the weighings' days, 1 to 3 December: the page's totals are checked
constexpr int kDiskMegabytes = 1024;  // each database server's: its memory is taken as written

struct Station {
    std::string room;
    int hall = 0;
    test::TempDir dir;
    test::FakeClock clock;  // the saves' stamps
    TransmissionLog log{clock};
    std::unique_ptr<Publisher> publisher;
    int saved = 0;
};

struct Ledger {
    std::string name;
    std::optional<test::ChildProcess> process;
    int starts = 0;
    int port = 0;  // its page's
};

class Chaos {
public:
    Chaos(std::uint32_t seed, int stations)
        : random_(seed), standby_(test::PostgresCluster::StandbyOf{primary_, disk_b_.Path()}) {
        for (int hall = 0; hall < kHalls; ++hall) {
            links_.push_back(std::make_unique<test::TcpRelay>(plant_.Port()));
            const std::string drop_in = test::ReadmeHallDropIn(README_FILE, HallName(hall),
                                                               links_.back()->Port(), "tarvelio");
            if (drop_in.empty()) {
                throw std::runtime_error("no hall drop-in in the README");
            }
            halls_.push_back(std::make_unique<test::MqttBroker>(
                "allow_anonymous true\nautosave_interval 1\n" + drop_in));
        }
        for (int i = 0; i < stations; ++i) {
            auto& station = stations_.emplace_back(std::make_unique<Station>());
            station->room = "room" + std::to_string(i + 1);
            station->hall = i % kHalls;
            Save(*station);  // a register to start from
            test::WriteFile(station->dir / "publikacja.stan", " 0\n");
            StartStation(*station);
        }
        url_ = "postgresql:///postgres?host=" + primary_.SocketFolder() + "," +
               standby_.SocketFolder() + "&user=postgres&target_session_attrs=read-write";
        for (const char* name : {"ledger-a", "ledger-b"}) {
            auto& ledger = ledgers_.emplace_back(std::make_unique<Ledger>());
            ledger->name = name;
            test::WriteFile(dir_ / (ledger->name + ".ini"),
                            "[Broker]\nbroker=127.0.0.1\nport=" + std::to_string(plant_.Port()) +
                                "\ntopic=tarvelio\nclient_id=" + name +
                                "\nshare=plant\nhalls=yes\n[Baza]\nurl=" + url_ +
                                "\n[Strona]\nlisten=127.0.0.1:0\nfiles=" + PAGE_FILES +
                                "\n[Odtwarzanie]\nfirst_month=202612\n");
            StartLedger(*ledger);
        }
        window_ = std::make_unique<station::bench::WindowStation>(dir_ / "window", "window",
                                                                  halls_[0]->Port());
    }

    // Deals faults for `seconds` while the stations save, heals everything, and checks.
    bool Run(int seconds) {
        const auto end = Clock::now() + std::chrono::seconds(seconds);
        auto next_fault = Clock::now() + Between(2s, 6s);
        while (Clock::now() < end) {
            Tick();
            if (Clock::now() >= next_fault) {
                DealFault();
                next_fault = Clock::now() + Between(2s, 8s);
            }
        }
        const auto healing = Clock::now();
        HealAll();
        int looks = 0;
        const bool whole = RunUntil([&] { return Check(++looks % 60 == 0); }, 10min);
        const double converged = std::chrono::duration<double>(Clock::now() - healing).count();
        const bool exact = Check(true);
        std::printf("faults dealt:");
        for (const auto& [kind, count] : dealt_) {
            std::printf(" %s %d;", kind.c_str(), count);
        }
        int saved = 0;
        for (const auto& station : stations_) {
            saved += station->saved;
        }
        const std::size_t clicked =
            ReadRegisterAfter(window_->RegisterFolder(), {}, 10'000'000).entries.size();
        // Transactions the database ended as deadlocked (the ledgers write in one order), and
        // those a full disk refused, as the ledgers logged them.
        const std::size_t deadlocks = LedgerLogsSay("deadlock detected");
        const std::size_t no_space = LedgerLogsSay("No space left on device");
        std::printf(
            "\n%zu stations and the program in %d halls, %d weighings saved and %zu by clicks; "
            "converged %.1f s after the faults ended%s; deadlocks %zu; the ledgers met a full "
            "disk %zu times\n",
            stations_.size(), kHalls, saved, clicked, converged, whole ? "" : " (NOT WHOLE)",
            deadlocks, no_space);
        std::fflush(stdout);
        return whole && exact && deadlocks == 0;
    }

private:
    std::size_t LedgerLogsSay(const std::string& text) const {
        std::size_t times = 0;
        for (const auto& ledger : ledgers_) {
            for (int start = 1; start <= ledger->starts; ++start) {
                const std::string log =
                    test::ReadFile(dir_ / (ledger->name + "." + std::to_string(start) + ".log"));
                for (std::size_t at = 0; (at = log.find(text, at)) != std::string::npos; ++at) {
                    ++times;
                }
            }
        }
        return times;
    }

    static std::string HallName(int hall) { return "hall" + std::to_string(hall + 1); }

    Clock::duration Between(Clock::duration low, Clock::duration high) {
        return low + Clock::duration(std::uniform_int_distribution<Clock::rep>(
                         0, (high - low).count())(random_));
    }
    int Pick(int count) { return std::uniform_int_distribution<int>(0, count - 1)(random_); }

    // A line's reading as a number, as the page sums it; nothing for "- - - - -", "#err" and the
    // like, which the program saves when its scale shows no weight.
    static double WeightOf(std::string text) {
        std::replace(text.begin(), text.end(), ',', '.');
        char* end = nullptr;
        const double weight = std::strtod(text.c_str(), &end);
        return !text.empty() && end == text.c_str() + text.size() ? weight : 0.0;
    }

    // The stations' loop for 20 ms with their time a second on (their minute between replays
    // passes in about a second; the ledgers and the brokers run in real time), some of them
    // saving, and the undoing of faults that are due.
    void Tick() {
        for (auto& station : stations_) {
            if (station->publisher && Pick(100) < 3) {
                Save(*station);
                station->publisher->WeighingSaved();
            }
        }
        if (window_->Running() && Pick(100) < 3) {
            window_->ClickSave();
        }
        loop_.RunUntil([] { return false; }, 20ms);
        loop_.Advance(1s);
        while (!undo_.empty() && undo_.begin()->first <= Clock::now()) {
            const auto undo = undo_.begin()->second;
            undo_.erase(undo_.begin());
            undo();
        }
    }

    bool RunUntil(const std::function<bool()>& done, Clock::duration limit) {
        const auto end = Clock::now() + limit;
        auto looked = Clock::now();
        while (Clock::now() < end) {
            Tick();
            if (Clock::now() - looked >= 1s) {
                looked = Clock::now();
                if (done()) {
                    return true;
                }
            }
        }
        return false;
    }

    // A weighing saved as the station saves it: every third of the odd rooms in grams.
    void Save(Station& station) {
        const int n = station.saved++;
        station.clock.now = {2026, 12, 1 + n % kDays, 6 + n / 3600 % 14, n / 60 % 60, n % 60, 0};
        const bool grams = station.hall == 1 && n % 3 == 0;
        WeighingRegister(station.clock, ':', station.dir.Path())
            .SaveWeighing(1 + n % 4, std::to_string(100 + n), grams ? "g" : "");
    }

    void StartStation(Station& station) {
        PublishSettings settings;
        settings.broker = "127.0.0.1";
        settings.port = halls_[static_cast<std::size_t>(station.hall)]->Port();
        settings.topic = "tarvelio/" + station.room;
        settings.client_id = station.room;
        station.publisher = std::make_unique<Publisher>(
            loop_, station.log, settings, station.dir.Path(), LocalTime{2026, 12, 3, 20, 0, 0, 0},
            [](const Publisher::Status&) {});
    }

    void StartLedger(Ledger& ledger) {
        const std::string log =
            dir_ / (ledger.name + "." + std::to_string(++ledger.starts) + ".log");
        ledger.process.emplace(
            std::vector<std::string>{LEDGER_PROGRAM, "--config", dir_ / (ledger.name + ".ini")},
            log, SIGKILL);
        ledger.port = station::bench::WaitForPagePort(loop_, log);
    }

    void Later(Clock::duration after, std::function<void()> undo) {
        undo_.emplace(Clock::now() + after, std::move(undo));
    }

    // Faults are dealt from a deck of every kind, shuffled, so that each kind comes once in each
    // round (a short run meets them all); a kind that cannot be dealt now goes to the bottom.
    enum class Fault { kLedger, kPublisher, kProgram, kBroker, kLink, kFailover, kDiskFull, kPage };

    void DealFault() {
        if (deck_.empty()) {
            deck_ = {Fault::kLedger, Fault::kPublisher, Fault::kProgram,  Fault::kBroker,
                     Fault::kLink,   Fault::kFailover,  Fault::kDiskFull, Fault::kPage};
            std::shuffle(deck_.begin(), deck_.end(), random_);
        }
        const Fault fault = deck_.back();
        deck_.pop_back();
        if (!Deal(fault)) {
            deck_.insert(deck_.begin(), fault);
        }
    }

    bool Deal(Fault fault) {
        switch (fault) {
            case Fault::kLedger: {
                Ledger& ledger = *ledgers_[static_cast<std::size_t>(Pick(2))];
                if (!ledger.process) {
                    return false;
                }
                ledger.process.reset();  // SIGKILL
                ++dealt_["ledger killed"];
                Later(Between(1s, 5s), [this, &ledger] { StartLedger(ledger); });
                return true;
            }
            case Fault::kPublisher: {
                Station& station =
                    *stations_[static_cast<std::size_t>(Pick(static_cast<int>(stations_.size())))];
                if (!station.publisher) {
                    return false;
                }
                station.publisher.reset();
                ++dealt_["station ended"];
                Later(Between(1s, 5s), [this, &station] { StartStation(station); });
                return true;
            }
            case Fault::kProgram:
                if (!window_->Running()) {
                    return false;
                }
                window_->Kill();
                ++dealt_["station program killed"];
                Later(Between(1s, 5s), [this] { window_->Start(); });
                return true;
            case Fault::kBroker: {
                const int which = Pick(kHalls + 1);
                test::MqttBroker& broker =
                    which == kHalls ? plant_ : *halls_[static_cast<std::size_t>(which)];
                if (!brokers_down_.insert(&broker).second) {
                    return false;
                }
                broker.Kill();
                ++dealt_[which == kHalls ? "plant broker killed" : "hall broker killed"];
                Later(Between(1s, 4s), [this, &broker] {
                    brokers_down_.erase(&broker);
                    if (!broker.Start()) {
                        throw std::runtime_error("a broker did not start again");
                    }
                });
                return true;
            }
            case Fault::kLink: {
                test::TcpRelay& link = *links_[static_cast<std::size_t>(Pick(kHalls))];
                link.Cut();
                ++dealt_["hall link cut"];
                Later(Between(2s, 20s), [&link] { link.Heal(); });
                return true;
            }
            case Fault::kFailover:
            case Fault::kDiskFull:
                // One database fault at a time, at most every 30 s.
                if (database_faulted_ || Clock::now() - last_database_fault_ < 30s) {
                    return false;
                }
                last_database_fault_ = Clock::now();
                database_faulted_ = true;
                if (fault == Fault::kFailover) {
                    Failover();
                } else {
                    DiskFull();
                }
                return true;
            case Fault::kPage:
                PageClients();
                return true;
        }
        return false;
    }

    // The primary dies, the standby takes over, and the old primary comes back as its standby.
    void Failover() {
        test::PostgresCluster& old = primary_is_first_ ? primary_ : standby_;
        test::PostgresCluster& promoted = primary_is_first_ ? standby_ : primary_;
        old.Kill();
        promoted.Promote();
        primary_is_first_ = !primary_is_first_;
        ++dealt_["database failover"];
        Later(Between(5s, 15s), [this, &old, &promoted] {
            old.RejoinAsStandbyOf(promoted);
            database_faulted_ = false;
        });
    }

    // The primary's disk full to the last byte for a while; then freed, and the server started
    // again if it gave up meanwhile, as its administrator would.
    void DiskFull() {
        test::PostgresCluster& primary = primary_is_first_ ? primary_ : standby_;
        const station::bench::SmallDisk& disk = primary_is_first_ ? disk_a_ : disk_b_;
        disk.Fill();
        ++dealt_["database disk full"];
        Later(Between(3s, 20s), [this, &primary, &disk] {
            disk.Free();
            if (!primary.Running()) {
                primary.Start();
            }
            database_faulted_ = false;
        });
    }

    // A few page clients: the day's view, the rooms, the metrics, and a live page that is left.
    void PageClients() {
        ++dealt_["page clients"];
        for (int client = Pick(4) + 1; client > 0; --client) {
            const Ledger& ledger = *ledgers_[static_cast<std::size_t>(Pick(2))];
            if (ledger.port == 0) {
                continue;
            }
            httplib::Client page("127.0.0.1", ledger.port);
            page.set_read_timeout(1, 0);
            page.Get("/api/day?day=2026-12-0" + std::to_string(1 + Pick(kDays)));
            page.Get("/api/stations");
            page.Get("/metrics");
            std::size_t bytes = 0;
            page.Get("/api/live", [&](const char*, std::size_t length) {
                bytes += length;
                return bytes < 200;
            });
        }
    }

    void HealAll() {
        for (const auto& [when, undo] : undo_) {
            undo();
        }
        undo_.clear();
        for (auto& ledger : ledgers_) {
            if (!ledger->process) {
                StartLedger(*ledger);
            }
        }
        if (!window_->Running()) {
            window_->Start();
        }
    }

    // Whether the database holds every register line once with its unit, nothing else, and a
    // ledger's page gives each day the registers' totals; with `say`, what does not hold.
    bool Check(bool say) {
        std::map<std::string, std::pair<std::string, std::string>> expected;  // id → line, unit
        std::map<std::string, std::pair<long, double>> totals;  // day room scale unit → count, sum
        std::vector<std::pair<std::string, std::string>> registers;  // room, register folder
        for (const auto& station : stations_) {
            registers.emplace_back(station->room, station->dir.Path());
        }
        registers.emplace_back("window", window_->RegisterFolder());
        for (const auto& [room, folder] : registers) {
            RegisterUnits units(folder);
            for (const RegisterEntry& entry : ReadRegisterAfter(folder, {}, 10'000'000).entries) {
                const std::string unit = units.UnitOf(entry).empty() ? "kg" : units.UnitOf(entry);
                expected[room + "/" + entry.start.FileName().substr(0, 6) + "/" +
                         std::to_string(entry.start.offset)] = {entry.line, unit};
                // The day, the room, the scale's digit and the unit, as the page's totals.
                std::string key = entry.line.substr(0, 10);
                key.append(" ")
                    .append(room)
                    .append(" ")
                    .append(entry.line, entry.line.find("waga") + 4, 1)
                    .append(" ")
                    .append(unit);
                auto& [count, sum] = totals[key];
                ++count;
                sum += WeightOf(entry.line.substr(entry.line.rfind('\t') + 1));
            }
        }
        std::size_t foreign = 0;
        std::size_t changed = 0;
        std::map<std::string, int> lines;  // room TAB line → rows
        try {
            for (const ledger::Row& row : ledger::OpenDatabase(url_, "")->Query(
                     "SELECT id, line, unit, station FROM weighings", {})) {
                const auto found = expected.find(row[0].value_or(""));
                ++lines[row[3].value_or("") + "\t" + row[1].value_or("")];
                if (found == expected.end()) {
                    ++foreign;
                } else if (found->second != std::pair(row[1].value_or(""), row[2].value_or(""))) {
                    ++changed;
                }
            }
        } catch (const ledger::DatabaseError& error) {
            if (say) {
                std::printf("the database: %s\n", error.what());
            }
            return false;
        }
        // By the line as well as by its place: a row moved to another place is no loss, and a
        // station may save one line twice in a second (the same reading, clicked twice).
        std::map<std::string, int> registered;  // room TAB line → register lines
        for (const auto& [id, line] : expected) {
            ++registered[id.substr(0, id.find('/')) + "\t" + line.first];
        }
        std::size_t lost = 0;
        std::size_t doubled = 0;
        for (const auto& [line, count] : registered) {
            const int rows = lines.contains(line) ? lines.at(line) : 0;
            if (rows < count && (lost += static_cast<std::size_t>(count - rows)) <= 5 && say) {
                std::printf("lost: %s\n", line.c_str());
            }
            doubled += static_cast<std::size_t>(std::max(rows - count, 0));
        }
        const bool pages = PageTotalsMatch(totals, say);
        if (say) {
            std::printf(
                "%zu register lines; lost %zu, doubled %zu, foreign %zu, changed %zu; the "
                "page's day totals %s the registers'\n",
                expected.size(), lost, doubled, foreign, changed, pages ? "equal" : "DIFFER FROM");
        }
        std::fflush(stdout);
        return lost == 0 && doubled == 0 && foreign == 0 && changed == 0 && pages;
    }

    bool PageTotalsMatch(const std::map<std::string, std::pair<long, double>>& expected, bool say) {
        std::map<std::string, std::pair<long, double>> shown;
        std::set<std::string> days;  // the stations' 1 to 3 December and the program's own days
        for (const auto& [key, total] : expected) {
            days.insert(key.substr(0, 10));
        }
        for (const std::string& date : days) {
            httplib::Client page("127.0.0.1", ledgers_[0]->port);
            const auto answer = page.Get("/api/day?day=" + date);
            if (!answer || answer->status != 200) {
                return false;
            }
            const nlohmann::json day_view = nlohmann::json::parse(answer->body);
            for (const auto& total : day_view["totals"]) {
                if (total["station"].is_null()) {
                    continue;
                }
                shown[date + " " + total["station"].get<std::string>() + " " +
                      std::to_string(total["scale"].get<int>()) + " " +
                      total["unit"].get<std::string>()] = {
                    total["count"].get<long>(),
                    total["sum"].is_null() ? 0.0 : total["sum"].get<double>()};
            }
        }
        if (say && shown != expected) {
            std::printf("the page shows %zu totals, the registers make %zu\n", shown.size(),
                        expected.size());
        }
        return shown == expected;
    }

    std::mt19937 random_;
    test::TempDir dir_;
    station::bench::SmallDisk disk_a_{kDiskMegabytes};
    station::bench::SmallDisk disk_b_{kDiskMegabytes};
    test::PostgresCluster primary_{disk_a_.Path()};
    test::PostgresCluster standby_;
    bool primary_is_first_ = true;
    bool database_faulted_ = false;  // a failover or a full disk not yet undone
    Clock::time_point last_database_fault_{};
    std::string url_;
    test::MqttBroker plant_{"allow_anonymous true\nautosave_interval 1\n"};
    std::vector<std::unique_ptr<test::TcpRelay>> links_;
    std::vector<std::unique_ptr<test::MqttBroker>> halls_;
    PollLoop loop_;
    std::vector<std::unique_ptr<Station>> stations_;
    std::vector<std::unique_ptr<Ledger>> ledgers_;
    std::multimap<Clock::time_point, std::function<void()>> undo_;
    std::vector<Fault> deck_;
    std::map<std::string, int> dealt_;
    std::set<const test::MqttBroker*> brokers_down_;
    std::unique_ptr<station::bench::WindowStation> window_;
};

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 3600;
    const auto seed = argc > 2 ? static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10))
                               : static_cast<std::uint32_t>(std::time(nullptr));
    const int stations = argc > 3 ? std::atoi(argv[3]) : 10;
    std::printf("seed %u, %d s of faults\n", seed, seconds);
    std::fflush(stdout);
    // Caught, so that the servers, brokers and programs it started are ended on the way out.
    try {
        station::bench::TakeOwnMounts();
        return Chaos(seed, stations).Run(seconds) ? 0 : 1;
    } catch (const std::exception& error) {
        std::printf("the run stopped: %s\n", error.what());
        return 2;
    }
}
