// tarvelio-ledger: keeps every station's weighings in one database. Runs until SIGTERM or
// SIGINT, then writes what it holds and ends.
#include <signal.h>
#include <sys/signalfd.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <iostream>
#include <optional>
#include <string_view>
#include <vector>

#include "base/file_descriptor.h"
#include "base/poll_loop.h"
#include "common/clock.h"
#include "ledger/ledger_settings.h"
#include "ledger/page/plant_page.h"
#include "ledger/store/ledger.h"
#include "ledger/store/ledger_tables.h"
#include "ledger/store/open_database.h"
#include "ledger/store/seal_audit.h"
#include "protocol/iso_time.h"

namespace {

constexpr int kUsageError = 2;
constexpr const char* kDefaultConfig = "/etc/tarvelio/ledger.ini";
constexpr const char* kDefaultStateDirectory = "/var/lib/tarvelio-ledger";

constexpr const char* kHelp =
    "Usage: tarvelio-ledger [options]\n"
    "Plant ledger: keeps every weighing room's weighings, live scale states and station\n"
    "status, as the stations publish them to an MQTT broker, in one SQLite or PostgreSQL\n"
    "database, each weighing once. At start, and whenever the broker or the database lost\n"
    "what it held, it asks the stations to send their weighings again from their registers.\n"
    "\n"
    "Options:\n"
    "  -h, --help           Displays this help and exits.\n"
    "  -v, --version        Displays the version and exits.\n"
    "  -c, --config <file>  The settings file (default /etc/tarvelio/ledger.ini).\n"
    "  --release <room>     Lets the room's client id go, so that its next weighing binds\n"
    "                       one again (the id a station has after a reinstall, or one a\n"
    "                       stranger took), and exits. Stop the ledger first.\n"
    "  --release-forged <room>\n"
    "                       The same, and moves every weighing stored under the room to\n"
    "                       `rejected`, kept there as evidence: for a room that sent another\n"
    "                       station's ids, whose replay then fills them. Stop the ledger first.\n"
    "  --verify             Verifies every seal stored again against its room's key, prints\n"
    "                       each weighing that fails, and exits: 0 when none does.\n";

void Say(const std::string& line) {
    std::cerr << "tarvelio-ledger: " << line << std::endl;
}

int Usage(const std::string& problem) {
    std::cerr << "tarvelio-ledger: " << problem << "\n\n" << kHelp;
    return kUsageError;
}

// The operator's answer to a room whose weighings are refused as another station's: the room
// that holds their ids is let go of them, with its weighings when they are `forged`.
int ReleaseClientId(const station::ledger::LedgerSettings& settings, const std::string& room,
                    bool forged) {
    using namespace station::ledger;
    try {
        const auto database = OpenDatabase(settings.database_url, settings.database_password);
        LedgerTables tables(*database);
        if (forged) {
            const std::size_t moved = tables.ReleaseForged(
                room, settings.broker.topic,
                station::protocol::IsoLocalTime(station::SystemClock().Seconds()));
            Say(room + ": weighings moved to rejected: " + std::to_string(moved) +
                "; the room's next weighing binds a client id again");
            return EXIT_SUCCESS;
        }
        if (!tables.ReleaseClientId(room)) {
            Say(room + ": no client id bound to such a room");
            return EXIT_FAILURE;
        }
    } catch (const std::exception& error) {
        Say(std::string("database: ") + error.what());
        return EXIT_FAILURE;
    }
    Say(room + ": client id released; the room's next weighing binds one again");
    return EXIT_SUCCESS;
}

// The auditor's answer to "has anyone changed a stored weighing": every sealed row checked again.
int VerifySeals(const station::ledger::LedgerSettings& settings) {
    using namespace station::ledger;
    try {
        const auto database = OpenDatabase(settings.database_url, settings.database_password);
        UpgradeSchema(*database);
        const SealAudit audit = AuditSeals(*database, settings.pinned_keys);
        for (const std::string& failure : audit.failures) {
            std::cout << failure << '\n';
        }
        std::cout << "verified: " << audit.verified << ", failed: " << audit.failures.size()
                  << std::endl;
        return audit.failures.empty() ? EXIT_SUCCESS : EXIT_FAILURE;
    } catch (const std::exception& error) {
        Say(std::string("database: ") + error.what());
        return kUsageError;
    }
}

}  // namespace

int main(int argc, char** argv) {
    using namespace station;
    std::string config = kDefaultConfig;
    std::optional<std::string> release;
    bool forged = false;
    bool verify = false;
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view argument = arguments[i];
        if (argument == "-h" || argument == "--help") {
            std::cout << kHelp;
            return 0;
        }
        if (argument == "-v" || argument == "--version") {
            std::cout << "tarvelio-ledger " << STATION_VERSION << '\n';
            return 0;
        }
        if ((argument == "-c" || argument == "--config") && i + 1 < arguments.size()) {
            config = arguments[++i];
        } else if ((argument == "--release" || argument == "--release-forged") &&
                   i + 1 < arguments.size()) {
            forged = argument == "--release-forged";
            release = arguments[++i];
        } else if (argument == "--verify") {
            verify = true;
        } else if (argument.starts_with("--config=")) {
            config = argument.substr(std::string_view("--config=").size());
        } else {
            return Usage("Unknown option '" + std::string(argument) + "'.");
        }
    }
    if (::access(config.c_str(), R_OK) != 0) {
        Say("cannot read the settings file " + config);
        return EXIT_FAILURE;
    }
    const char* state_directory = std::getenv("STATE_DIRECTORY");  // set by systemd
    const ledger::LedgerSettingsResult settings = ledger::LoadLedgerSettings(
        IniFile(config), HostName(),
        state_directory != nullptr ? state_directory : kDefaultStateDirectory,
        SystemClock().Local());
    if (const auto* problem = std::get_if<std::string>(&settings)) {
        Say(config + ": " + *problem);
        return EXIT_FAILURE;
    }
    const ledger::LedgerSettings& chosen = std::get<ledger::LedgerSettings>(settings);
    if (release) {
        return ReleaseClientId(chosen, *release, forged);
    }
    if (verify) {
        return VerifySeals(chosen);
    }

    // The signals that end it arrive on the loop as a descriptor, never inside a callback.
    sigset_t ending;
    sigemptyset(&ending);
    sigaddset(&ending, SIGTERM);
    sigaddset(&ending, SIGINT);
    sigprocmask(SIG_BLOCK, &ending, nullptr);
    signal(SIGPIPE, SIG_IGN);
    const FileDescriptor signals(::signalfd(-1, &ending, SFD_CLOEXEC | SFD_NONBLOCK));

    PollLoop loop;
    bool ended = false;
    const std::unique_ptr<FdWatch> watch =
        loop.Watch(signals.Get(), [&](bool, bool) { ended = true; });
    watch->SetInterest(true, false);
    // The page is an addition: one that cannot listen is said, and the ledger keeps on. The
    // health board outlives it, since the page's workers read it until the page is gone.
    ledger::HealthBoard health;
    std::unique_ptr<ledger::PlantPage> page;
    try {
        page = std::make_unique<ledger::PlantPage>(chosen.page, chosen.database_url,
                                                   chosen.database_password, &health);
        Say(std::string("page on ") + (chosen.page.cert_file.empty() ? "http" : "https") + "://" +
            chosen.page.host + ":" + std::to_string(page->Port()) + "/");
    } catch (const std::exception& error) {
        Say(std::string("no page: ") + error.what());
    }
    // Started only once the database is open with its schema: systemd then counts the service
    // as started, and a database that refuses for good ends it with the reason.
    int status = EXIT_SUCCESS;
    ledger::Ledger ledger(
        loop, chosen, Say,
        [&page](const ledger::Batch& batch) {
            if (page) {
                page->Written(batch);
            }
        },
        {[&chosen] {
             Say("started; database " + chosen.database_url +
                 (chosen.open_broker ? "; the broker is reached without a login: whoever reaches "
                                       "it may publish weighings"
                                     : ""));
             sd_notify(0, "READY=1");
         },
         [&](const std::string& reason) {
             Say(reason);
             status = EXIT_FAILURE;
             ended = true;
         }},
        &health);
    while (!ended) {
        loop.RunOnce(std::chrono::seconds(60));
    }
    sd_notify(0, "STOPPING=1");
    if (status == EXIT_SUCCESS) {
        ledger.Flush();
        Say("ended");
    }
    return status;
}
