#include "ledger/page/plant_page.h"

#include <sys/resource.h>

#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <utility>
#include <variant>

#include "common/clock.h"
#include "ledger/page/live_stream.h"
#include "ledger/page/page_access.h"
#include "ledger/page/page_queries.h"
#include "ledger/page/page_request.h"
#include "ledger/page/page_shapes.h"
#include "ledger/page/weighing_export.h"
#include "ledger/page/workbook_export.h"
#include "ledger/store/database.h"
#include "ledger/store/open_database.h"

namespace station::ledger {
namespace {

// Open connections the page takes: at most this many, and at most half the descriptors the
// process may open, so that the broker and the database always find theirs.
constexpr std::size_t kMostConnections = 2000;
constexpr const char* kPlainText = "text/plain; charset=utf-8";
constexpr const char* kJsonType = "application/json; charset=utf-8";
constexpr const char* kScript = "text/javascript; charset=utf-8";
constexpr const char* kUnknownRoom = "Nie ma takiego stanowiska";

std::string ReadFile(const std::string& path) {
    std::ifstream stream(path, std::ios::binary);
    if (!stream) {
        throw std::runtime_error("cannot read " + path);
    }
    std::ostringstream content;
    content << stream.rdbuf();
    return content.str();
}

// On a worker's thread: a clock of its own.
Day Today() {
    const LocalTime now = SystemClock().Local();
    return {now.year, now.month, now.day};
}

HttpResponse Plain(int status, std::string text) {
    return {status, kPlainText, std::move(text), {}, {}};
}

HttpResponse JsonAnswer(std::string json) {
    return {200, kJsonType, std::move(json), {}, {}};
}

HttpResponse Stations(Database& database, const Parameters&) {
    return JsonAnswer(StationsJson(StationsSeen(database), ScalesSeen(database)));
}

// The day's query, its room checked: one the ledger never heard of is the reader's mistake, not an
// empty day. The query, or the answer that refuses it.
std::variant<DayQuery, HttpResponse> CheckedDayQuery(Database& database,
                                                     const Parameters& parameters) {
    auto read = ReadDayQuery(parameters, Today());
    if (auto* problem = std::get_if<std::string>(&read)) {
        return Plain(400, std::move(*problem));
    }
    DayQuery& query = std::get<DayQuery>(read);
    if (!query.station.empty() && !RoomKnown(database, query.station)) {
        return Plain(400, kUnknownRoom);
    }
    return std::move(query);
}

HttpResponse DayView(Database& database, const Parameters& parameters) {
    auto checked = CheckedDayQuery(database, parameters);
    if (auto* refused = std::get_if<HttpResponse>(&checked)) {
        return std::move(*refused);
    }
    const DayQuery& query = std::get<DayQuery>(checked);
    // One row more than a page tells whether there are more.
    return JsonAnswer(DayViewJson(
        query,
        DayWeighings(database, query, kPageRows + 1, static_cast<long>(query.page) * kPageRows),
        DayTotals(database, query), DayHours(database, query)));
}

// The rows a range's sums answer holds at most: a year of a big plant is read room by room.
constexpr long kRangeRows = 5000;

HttpResponse Range(Database& database, const Parameters& parameters) {
    const auto read = ReadRangeQuery(parameters);
    if (const auto* problem = std::get_if<std::string>(&read)) {
        return Plain(400, *problem);
    }
    const RangeQuery& range = std::get<RangeQuery>(read);
    if (!range.station.empty() && !RoomKnown(database, range.station)) {
        return Plain(400, kUnknownRoom);
    }
    return JsonAnswer(RangeJson(range, RangeSums(database, range, kRangeRows + 1),
                                RangeTotals(database, range), kRangeRows));
}

// What is wrong with a request's parameters, read as its answer will read them.
std::optional<std::string> ParametersProblem(const HttpRequest& request) {
    if (request.path == "/api/range") {
        if (auto range = ReadRangeQuery(request.parameters);
            auto* problem = std::get_if<std::string>(&range)) {
            return std::move(*problem);
        }
    } else if (request.path != "/api/stations") {
        if (auto day = ReadDayQuery(request.parameters, Today());
            auto* problem = std::get_if<std::string>(&day)) {
            return std::move(*problem);
        }
    }
    return std::nullopt;
}

HttpResponse Daily(Database& database, const Parameters& parameters) {
    const auto read = ReadDayQuery(parameters, Today());
    if (const auto* problem = std::get_if<std::string>(&read)) {
        return Plain(400, *problem);
    }
    const DayQuery& day = std::get<DayQuery>(read);
    const RangeQuery last_days{day.day.Plus(-29), day.day, day.station, day.scale};
    return JsonAnswer(DailyJson(last_days, DailySums(database, last_days)));
}

// One of the exports in flight, held until its body ends, or until its answer is given up.
class ExportSlot {
public:
    static std::optional<ExportSlot> Take(std::atomic<std::size_t>& in_flight, std::size_t most) {
        if (in_flight.fetch_add(1) >= most) {
            --in_flight;
            return std::nullopt;
        }
        return ExportSlot(in_flight);
    }
    ExportSlot(ExportSlot&& other) noexcept
        : in_flight_(std::exchange(other.in_flight_, nullptr)) {}
    ExportSlot& operator=(ExportSlot&&) = delete;
    ~ExportSlot() {
        if (in_flight_ != nullptr) {
            --*in_flight_;
        }
    }

private:
    explicit ExportSlot(std::atomic<std::size_t>& in_flight) : in_flight_(&in_flight) {}
    std::atomic<std::size_t>* in_flight_;
};

// An export's body, holding its slot.
class CountedExport final : public BodySource {
public:
    CountedExport(std::unique_ptr<BodySource> body, ExportSlot slot)
        : body_(std::move(body)), slot_(std::move(slot)) {}

    Piece Next() override { return body_->Next(); }

private:
    std::unique_ptr<BodySource> body_;
    ExportSlot slot_;
};

std::size_t MostConnections() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return kMostConnections;
    }
    return std::clamp<std::size_t>(limit.rlim_cur / 2, 16, kMostConnections);
}

}  // namespace

PlantPage::PlantPage(PageSettings settings, std::string database_url, std::string database_password,
                     const HealthBoard* health, const TimeSource& time)
    : settings_(std::move(settings)),
      database_url_(std::move(database_url)),
      database_password_(std::move(database_password)),
      health_(health),
      time_(time) {
    files_ = {{"/", {ReadFile(settings_.files + "/index.html"), "text/html; charset=utf-8"}},
              {"/plant.js", {ReadFile(settings_.files + "/plant.js"), kScript}},
              {"/plant.css", {ReadFile(settings_.files + "/plant.css"), "text/css; charset=utf-8"}},
              {"/chart.js", {ReadFile(settings_.chart_js), kScript}}};
    HttpServerSettings server;
    server.host = settings_.host;
    server.port = settings_.port;
    if (!settings_.cert_file.empty()) {
        server.cert_pem = ReadFile(settings_.cert_file);
        server.key_pem = ReadFile(settings_.key_file);
    }
    server.most_connections = MostConnections();
    server.most_per_address = settings_.most_per_address;
    server_ = std::make_unique<HttpServer>(
        server, [this](const HttpRequest& request) { return Answer(request); }, time_);
    port_ = server_->Port();
}

PlantPage::~PlantPage() {
    feed_.Close();
    server_.reset();
}

void PlantPage::Written(const Batch& batch) {
    for (const StationStatusRow& row : batch.statuses) {
        feed_.Publish(StatusEventJson(row));
    }
    for (const ScaleStateRow& row : batch.states) {
        feed_.Publish(StateEventJson(row));
    }
    if (!batch.weighings.empty()) {
        feed_.Publish(R"({"kind":"weighings"})");
    }
    server_->Wake();
}

HttpResponse PlantPage::Answer(const HttpRequest& request) {
    HttpResponse response;
    if (!KnownHost(request.host, settings_.host, settings_.names)) {
        response = Plain(421, "Nieznany adres strony");
    } else if (!settings_.password.empty() &&
               !Authorised(request.authorization, settings_.password)) {
        response = Plain(401, "Wymagane hasło");
        response.headers.emplace_back("WWW-Authenticate",
                                      R"(Basic realm="Tarvelio", charset="UTF-8")");
    } else {
        response = Route(request);
    }
    response.headers.emplace_back("Cache-Control", "no-store");
    response.headers.emplace_back("X-Content-Type-Options", "nosniff");
    response.headers.emplace_back(
        "Content-Security-Policy",
        "default-src 'self'; style-src 'self'; script-src 'self'; frame-ancestors 'none'");
    return response;
}

HttpResponse PlantPage::Route(const HttpRequest& request) {
    if (const auto file = files_.find(request.path); file != files_.end()) {
        return {200, file->second.type, file->second.content, {}, {}};
    }
    if (request.path == "/api/live") {
        // Server-Sent Events: what the ledger writes, as it writes it.
        HttpResponse response{200, "text/event-stream", {}, {}, {}};
        response.source = std::make_unique<LiveStream>(feed_, live_pages_, health_, time_);
        return response;
    }
    // For a plant's monitoring: 200 only while the ledger can store.
    if (request.path == "/api/health" || request.path == "/metrics") {
        const LedgerHealth health = health_ != nullptr ? health_->Snapshot() : LedgerHealth{};
        if (request.path == "/metrics") {
            return {200,
                    "text/plain; version=0.0.4; charset=utf-8",
                    HealthMetrics(health, live_pages_),
                    {},
                    {}};
        }
        return {health.Healthy() ? 200 : 503, "application/json", HealthJson(health), {}, {}};
    }
    if (constexpr std::string_view kExport = "/api/export"; request.path.starts_with(kExport)) {
        return Export(request, std::string_view(request.path).substr(kExport.size()));
    }
    using Answerer = HttpResponse (*)(Database&, const Parameters&);
    static const std::map<std::string, Answerer> kFromDatabase{{"/api/stations", &Stations},
                                                               {"/api/day", &DayView},
                                                               {"/api/daily", &Daily},
                                                               {"/api/range", &Range}};
    const auto answerer = kFromDatabase.find(request.path);
    if (answerer == kFromDatabase.end()) {
        return Plain(404, "Nie ma takiej strony");
    }
    // A request that cannot be read is the reader's mistake whether or not the database answers.
    if (std::optional<std::string> problem = ParametersProblem(request); problem) {
        return Plain(400, std::move(*problem));
    }
    if (request.path == "/api/stations" && health_ != nullptr) {
        return LiveStations();
    }
    return OnDatabase(
        [&](Database& database) { return answerer->second(database, request.parameters); });
}

// The ledger's memory over what the database holds: the live view whatever the database does,
// which adds the rooms not heard of since the ledger started and each room's disputed weighings.
// A database the ledger has lost is not waited for.
HttpResponse PlantPage::LiveStations() {
    std::vector<StationSeen> stations;
    std::vector<ScaleSeen> scales;
    if (health_->Reachable().database_open) {
        OnDatabase([&](Database& database) {
            stations = StationsSeen(database);
            scales = ScalesSeen(database);
            return HttpResponse{};
        });
    }
    AddLiveRooms(health_->Snapshot(), stations, scales);
    return JsonAnswer(StationsJson(stations, scales));
}

HttpResponse PlantPage::OnDatabase(const std::function<HttpResponse(Database&)>& answer) {
    // The calling worker's connection, opened at its first request and again after a failure;
    // it ends with the worker, which is this page's server's own.
    // A connection kept from before the database restarted fails once: another is opened at once.
    thread_local std::unique_ptr<Database> database;
    for (bool fresh = !database;; fresh = true) {
        try {
            if (!database) {
                database = OpenReadOnly();
            }
            return answer(*database);
        } catch (const DatabaseError&) {
            database.reset();
            if (fresh) {
                return Plain(503, "Baza danych niedostępna");
            }
        } catch (const std::exception&) {
            // A stored value the page cannot read: its own fault, not the database's.
            return Plain(500, "Błąd strony: nie umie odczytać wartości z bazy danych");
        }
    }
}

HttpResponse PlantPage::Export(const HttpRequest& request, std::string_view extension) {
    static const std::map<std::string_view, const char*> kTypes{
        {".csv", "text/csv; charset=utf-8"},
        {".json", kJsonType},
        {".xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"}};
    const auto type = kTypes.find(extension);
    if (type == kTypes.end()) {
        return Plain(404, "Nie ma takiej strony");
    }
    const auto read = ReadRangeQuery(request.parameters);
    if (const auto* problem = std::get_if<std::string>(&read)) {
        return Plain(400, *problem);
    }
    RangeQuery range = std::get<RangeQuery>(read);
    range.seals = health_ != nullptr && health_->Snapshot().verifying_seals;
    std::optional<ExportSlot> slot = ExportSlot::Take(exports_, kMostExports);
    if (!slot) {
        HttpResponse busy = Plain(503, "Za dużo plików pobieranych naraz; spróbuj za chwilę");
        busy.headers.emplace_back("Retry-After", "10");
        return busy;
    }
    HttpResponse response{200, type->second, {}, {}, {}};
    try {
        std::unique_ptr<Database> database = OpenReadOnly();
        std::unique_ptr<BodySource> body;
        if (extension == ".xlsx") {
            body = std::make_unique<WorkbookExport>(std::move(database), range);
        } else {
            body = std::make_unique<WeighingExport>(
                std::move(database), range,
                extension == ".csv" ? WeighingExport::Format::kCsv : WeighingExport::Format::kJson);
        }
        response.source = std::make_unique<CountedExport>(std::move(body), std::move(*slot));
    } catch (const DatabaseError&) {
        return Plain(503, "Baza danych niedostępna");
    } catch (const std::exception&) {
        return Plain(500, "Błąd strony: nie udało się przygotować pliku");
    }
    response.headers.emplace_back(
        "Content-Disposition", "attachment; filename=\"" + ExportFileName(range, extension) + "\"");
    return response;
}

std::unique_ptr<Database> PlantPage::OpenReadOnly() const {
    return OpenDatabase(database_url_, database_password_, DatabaseAccess::kReadOnly);
}

}  // namespace station::ledger
