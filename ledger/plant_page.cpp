#include "ledger/plant_page.h"

#include <sys/resource.h>

#include <nlohmann/json.hpp>

#include <ctime>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "core/text/ascii.h"
#include "ledger/database.h"
#include "ledger/page_access.h"
#include "ledger/page_request.h"
#include "ledger/weighing_export.h"

namespace station::ledger {
namespace {

using Json = nlohmann::ordered_json;

constexpr std::chrono::seconds kLiveKeepAlive{15};
// Open connections the page takes: at most this many, and at most half the descriptors the
// process may open, so that the broker and the database always find theirs.
constexpr std::size_t kMostConnections = 2000;
constexpr const char* kPlainText = "text/plain; charset=utf-8";
constexpr const char* kJsonType = "application/json; charset=utf-8";
constexpr const char* kScript = "text/javascript; charset=utf-8";

constexpr const char* kFilter =
    " FROM weighings WHERE time >= $1 AND time < $2 AND ($3 = '' OR station = $3)"
    " AND ($4 = 0 OR scale = $4)";
const std::string kDayRows = std::string("SELECT id, station, scale, reading, weight, time") +
                             kFilter + " ORDER BY time DESC, id DESC LIMIT $5 OFFSET $6";
const std::string kDayTotals = std::string("SELECT station, scale, COUNT(*), SUM(weight)") +
                               kFilter + " GROUP BY station, scale ORDER BY station, scale";
const std::string kDayHours = std::string("SELECT station, substr(time, 12, 2), COUNT(*)") +
                              kFilter + " GROUP BY station, substr(time, 12, 2)";
constexpr const char* kDailySums =
    "SELECT station, substr(time, 1, 10), COUNT(*), SUM(weight) FROM weighings"
    " WHERE time >= $1 AND time < $2 GROUP BY station, substr(time, 1, 10)";
std::string ReadFile(const std::string& path) {
    std::ifstream stream(path, std::ios::binary);
    if (!stream) {
        throw std::runtime_error("cannot read " + path);
    }
    std::ostringstream content;
    content << stream.rdbuf();
    return content.str();
}

bool IsTrue(const std::optional<std::string>& text) {
    return text && (*text == "t" || *text == "1" || *text == "true");
}

Json Number(const std::optional<std::string>& text) {
    return text ? Json(std::stod(*text)) : Json(nullptr);
}

Json Text(const std::optional<std::string>& text) {
    return text ? Json(*text) : Json(nullptr);
}

Day Today() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

std::string Next(const Day& day) {
    return Day::FromSerial(day.Serial() + 1).Text();
}

HttpResponse Plain(int status, std::string text) {
    return {status, kPlainText, std::move(text), {}, {}};
}

HttpResponse JsonAnswer(const Json& json) {
    return {200, kJsonType, json.dump(-1, ' ', false, Json::error_handler_t::replace), {}, {}};
}

Json EventOf(const ScaleStateRow& row) {
    Json event;
    event["kind"] = "state";
    event["station"] = row.station;
    event["scale"] = row.scale;
    event["connected"] = row.connected;
    event["reading"] = row.reading;
    event["motion"] = row.motion ? Json(*row.motion) : Json(nullptr);
    event["range"] = row.range ? Json(*row.range) : Json(nullptr);
    return event;
}

HttpResponse Stations(Database& database, const Parameters&) {
    Json stations = Json::object();
    for (const Row& row :
         database.Query("SELECT station, online FROM stations ORDER BY station", {})) {
        stations[*row[0]] = {{"online", IsTrue(row[1])}, {"scales", Json::object()}};
    }
    for (const Row& row : database.Query(
             "SELECT station, scale, connected, reading, motion, \"range\" FROM scale_states",
             {})) {
        Json& station = stations[*row[0]];
        if (!station.contains("online")) {
            station = {{"online", false}, {"scales", Json::object()}};
        }
        station["scales"][*row[1]] = {{"connected", IsTrue(row[2])},
                                      {"reading", Text(row[3])},
                                      {"motion", row[4] ? Json(IsTrue(row[4])) : Json(nullptr)},
                                      {"range", Text(row[5])}};
    }
    return JsonAnswer(stations);
}

HttpResponse DayView(Database& database, const Parameters& parameters) {
    const auto read = ReadDayQuery(parameters, Today());
    if (const auto* problem = std::get_if<std::string>(&read)) {
        return Plain(400, *problem);
    }
    const DayQuery& query = std::get<DayQuery>(read);
    const std::vector<Value> filter{query.day.Text(), Next(query.day), query.station,
                                    std::int64_t{query.scale}};
    std::vector<Value> page = filter;
    page.emplace_back(std::int64_t{kPageRows + 1});
    page.emplace_back(std::int64_t{query.page} * kPageRows);
    Json answer;
    answer["day"] = query.day.Text();
    answer["page"] = query.page;
    Json rows = Json::array();
    for (const Row& row : database.Query(kDayRows.c_str(), page)) {
        rows.push_back({{"id", Text(row[0])},
                        {"station", Text(row[1])},
                        {"scale", std::stoi(row[2].value_or("0"))},
                        {"reading", Text(row[3])},
                        {"weight", Number(row[4])},
                        {"time", Text(row[5])}});
    }
    answer["more"] = rows.size() > kPageRows;
    if (rows.size() > kPageRows) {
        rows.erase(rows.end() - 1);
    }
    answer["rows"] = std::move(rows);
    Json totals = Json::array();
    for (const Row& row : database.Query(kDayTotals.c_str(), filter)) {
        totals.push_back({{"station", Text(row[0])},
                          {"scale", std::stoi(row[1].value_or("0"))},
                          {"count", std::stol(row[2].value_or("0"))},
                          {"sum", Number(row[3])}});
    }
    answer["totals"] = std::move(totals);
    Json hours = Json::array();
    for (const Row& row : database.Query(kDayHours.c_str(), filter)) {
        // A time stored before times were checked at the door has no hour.
        const std::string hour = row[1].value_or("");
        if (hour.size() != 2 || !IsDigit(hour[0]) || !IsDigit(hour[1])) {
            continue;
        }
        hours.push_back({{"station", Text(row[0])},
                         {"hour", std::stoi(hour)},
                         {"count", std::stol(row[2].value_or("0"))}});
    }
    answer["hours"] = std::move(hours);
    return JsonAnswer(answer);
}

HttpResponse Daily(Database& database, const Parameters& parameters) {
    const auto read = ReadDayQuery(parameters, Today());
    if (const auto* problem = std::get_if<std::string>(&read)) {
        return Plain(400, *problem);
    }
    const Day last = std::get<DayQuery>(read).day;
    const Day first = Day::FromSerial(last.Serial() - 29);
    Json days = Json::array();
    for (const Row& row : database.Query(kDailySums, {first.Text(), Next(last)})) {
        days.push_back({{"station", Text(row[0])},
                        {"day", Text(row[1])},
                        {"count", std::stol(row[2].value_or("0"))},
                        {"sum", Number(row[3])}});
    }
    return JsonAnswer(Json{{"from", first.Text()}, {"to", last.Text()}, {"days", days}});
}

// What an open live page is sent: what the ledger wrote since it last looked, or now and then a
// comment so that it notices a lost connection; between them it waits, holding no thread.
class LiveStream : public BodySource {
public:
    LiveStream(LiveFeed& feed, std::atomic<std::size_t>& open)
        : feed_(feed), open_(open), seen_(feed.Latest()) {
        ++open_;
    }
    ~LiveStream() override { --open_; }
    LiveStream(const LiveStream&) = delete;
    LiveStream& operator=(const LiveStream&) = delete;

    Piece Next() override {
        const LiveFeed::Read read = feed_.After(seen_, std::chrono::milliseconds(0));
        if (read.closed) {
            return {Piece::Kind::kEnd, {}};
        }
        std::string out = read.lost ? "event: lost\ndata: {}\n\n" : "";
        for (const std::string& event : read.events) {
            out.append("data: ").append(event).append("\n\n");
        }
        const auto now = std::chrono::steady_clock::now();
        if (out.empty() && now - last_sent_ >= kLiveKeepAlive) {
            out = ": keep-alive\n\n";
        }
        if (out.empty()) {
            return {Piece::Kind::kLater, {}};
        }
        last_sent_ = now;
        return {Piece::Kind::kBytes, std::move(out)};
    }

private:
    LiveFeed& feed_;
    std::atomic<std::size_t>& open_;
    std::uint64_t seen_;
    // The first look sends a comment at once: the page learns that its view is open.
    std::chrono::steady_clock::time_point last_sent_{};
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
                     const HealthBoard* health)
    : settings_(std::move(settings)),
      database_url_(std::move(database_url)),
      database_password_(std::move(database_password)),
      health_(health) {
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
    server_ = std::make_unique<HttpServer>(
        server, [this](const HttpRequest& request) { return Answer(request); });
    port_ = server_->Port();
}

PlantPage::~PlantPage() {
    feed_.Close();
    server_.reset();
}

void PlantPage::Written(const Batch& batch) {
    for (const StationStatusRow& row : batch.statuses) {
        feed_.Publish(
            Json{{"kind", "status"}, {"station", row.station}, {"online", row.online}}.dump(
                -1, ' ', false, Json::error_handler_t::replace));
    }
    for (const ScaleStateRow& row : batch.states) {
        feed_.Publish(EventOf(row).dump(-1, ' ', false, Json::error_handler_t::replace));
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
        response.source = std::make_unique<LiveStream>(feed_, live_pages_);
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
    if (request.path == "/api/export.csv" || request.path == "/api/export.json") {
        return Export(request, request.path.ends_with(".csv"));
    }
    using Answerer = HttpResponse (*)(Database&, const Parameters&);
    static const std::map<std::string, Answerer> kFromDatabase{
        {"/api/stations", &Stations}, {"/api/day", &DayView}, {"/api/daily", &Daily}};
    const auto answerer = kFromDatabase.find(request.path);
    if (answerer == kFromDatabase.end()) {
        return Plain(404, "Nie ma takiej strony");
    }
    // The calling worker's connection, opened at its first request and again after a failure;
    // it ends with the worker, which is this page's server's own.
    thread_local std::unique_ptr<Database> database;
    try {
        if (!database) {
            database = OpenReadOnly();
        }
        return answerer->second(*database, request.parameters);
    } catch (const DatabaseError&) {
        database.reset();
        return Plain(503, "Baza danych niedostępna");
    } catch (const std::exception&) {
        // A stored value the page cannot read: its own fault, not the database's.
        return Plain(500, "Błąd strony: nie umie odczytać wartości z bazy danych");
    }
}

HttpResponse PlantPage::Export(const HttpRequest& request, bool csv) {
    const auto read = ReadRangeQuery(request.parameters);
    if (const auto* problem = std::get_if<std::string>(&read)) {
        return Plain(400, *problem);
    }
    const RangeQuery& range = std::get<RangeQuery>(read);
    const auto format = csv ? WeighingExport::Format::kCsv : WeighingExport::Format::kJson;
    HttpResponse response{200, csv ? "text/csv; charset=utf-8" : kJsonType, {}, {}, {}};
    try {
        response.source = std::make_unique<WeighingExport>(OpenReadOnly(), range, format);
    } catch (const std::exception&) {
        return Plain(503, "Baza danych niedostępna");
    }
    response.headers.emplace_back(
        "Content-Disposition",
        "attachment; filename=\"" + WeighingExport::FileName(range, format) + "\"");
    return response;
}

std::unique_ptr<Database> PlantPage::OpenReadOnly() const {
    return OpenDatabase(database_url_, database_password_, DatabaseAccess::kReadOnly);
}

}  // namespace station::ledger
