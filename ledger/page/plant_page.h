#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ledger/page/http_server.h"
#include "ledger/page/live_feed.h"
#include "ledger/page/page_settings.h"
#include "ledger/store/database.h"
#include "ledger/store/ledger_health.h"
#include "ledger/store/ledger_rows.h"

namespace station::ledger {

// The plant's read-only page: the live view of every room, the day's weighings with their sums
// and charts, the export of a range as CSV or JSON, and the ledger's health for monitoring. Served
// by HttpServer, whose workers each keep a read-only connection to the database (an export has its
// own, for as long as it streams); live changes come from the ledger's loop through Written and go
// out as Server-Sent Events. Every parameter is checked first,
// and every answer is bounded (a page of kPageRows rows; a range of at most a year, streamed).
class PlantPage {
public:
    // Exports that stream at once, each on a database connection of its own: exports left
    // unread cannot take the connections the page and the ledger need.
    static constexpr std::size_t kMostExports = 4;

    // Starts serving; throws std::runtime_error when it cannot listen. `health`, when given,
    // answers /api/health and /metrics; `time` times the requests and the live pages' comments.
    PlantPage(PageSettings settings, std::string database_url, std::string database_password,
              const HealthBoard* health = nullptr, const TimeSource& time = SteadyTime::Instance());
    ~PlantPage();
    PlantPage(const PlantPage&) = delete;
    PlantPage& operator=(const PlantPage&) = delete;

    // The port it listens on (the one the system chose for port 0).
    int Port() const { return port_; }
    // What the ledger has just written, for the open pages.
    void Written(const Batch& batch);

private:
    struct File {
        std::string content;
        const char* type;
    };

    HttpResponse Answer(const HttpRequest& request);
    HttpResponse Route(const HttpRequest& request);
    HttpResponse LiveStations();
    // `answer` on this worker's connection to the database, or the answer that says it failed.
    HttpResponse OnDatabase(const std::function<HttpResponse(Database&)>& answer);
    // "/api/export" and `extension`: ".csv", ".json" or ".xlsx".
    HttpResponse Export(const HttpRequest& request, std::string_view extension);
    std::unique_ptr<Database> OpenReadOnly() const;

    PageSettings settings_;
    std::string database_url_;
    std::string database_password_;
    const HealthBoard* health_;
    const TimeSource& time_;
    std::map<std::string, File> files_;
    LiveFeed feed_;
    std::atomic<std::size_t> live_pages_{0};
    std::atomic<std::size_t> exports_{0};  // in flight, each holding a database connection
    std::unique_ptr<HttpServer> server_;   // last: its workers use the rest
    int port_ = 0;
};

}  // namespace station::ledger
