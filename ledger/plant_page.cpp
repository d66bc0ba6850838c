#include "ledger/plant_page.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <ctime>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "core/text/ascii.h"
#include "ledger/database.h"
#include "ledger/page_request.h"

namespace station::ledger {
namespace {

using Json = nlohmann::ordered_json;
using namespace std::chrono_literals;

constexpr std::size_t kMostHeaders = 64;
constexpr std::size_t kLargestRequestBody = 4096;
constexpr int kWorkers = 64;  // each open page's live view holds one
constexpr std::chrono::seconds kSlowClient{10};
constexpr std::chrono::milliseconds kLiveGathering{100};
constexpr std::chrono::seconds kLiveKeepAlive{15};
constexpr const char* kPlainText = "text/plain; charset=utf-8";
constexpr const char* kJsonType = "application/json; charset=utf-8";

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
constexpr const char* kExportRows =
    "SELECT id, station, scale, reading, weight, time, line FROM weighings"
    " WHERE time >= $1 AND time < $2 ORDER BY time, id";

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

Parameters ParametersOf(const httplib::Request& request) {
    Parameters parameters;
    for (const auto& [name, value] : request.params) {
        parameters[name] = value;
    }
    return parameters;
}

void BadRequest(httplib::Response& response, const std::string& problem) {
    response.status = 400;
    response.set_content(problem, kPlainText);
}

std::string CsvField(std::string text) {
    if (text.find_first_of(";\"\r\n") == std::string::npos) {
        return text;
    }
    for (std::size_t at = 0; (at = text.find('"', at)) != std::string::npos; at += 2) {
        text.insert(at, 1, '"');
    }
    return '"' + text + '"';
}

// A Polish spreadsheet's number: a decimal comma.
std::string DecimalComma(std::string number) {
    std::replace(number.begin(), number.end(), '.', ',');
    return number;
}

std::optional<std::string> Base64Decoded(std::string_view text) {
    constexpr std::string_view kAlphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string decoded;
    unsigned bits = 0;
    int count = 0;
    for (const char c : text) {
        if (c == '=') {
            break;
        }
        const std::size_t value = kAlphabet.find(c);
        if (value == std::string_view::npos) {
            return std::nullopt;
        }
        bits = (bits << 6) | static_cast<unsigned>(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            decoded += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return decoded;
}

// Compares all of both, so the time taken says nothing of where they differ.
bool SameSecret(const std::string& given, const std::string& expected) {
    unsigned difference = given.size() == expected.size() ? 0 : 1;
    for (std::size_t i = 0; i < given.size(); ++i) {
        difference |= static_cast<unsigned>(
            given[i] ^ expected[i % std::max<std::size_t>(expected.size(), 1)]);
    }
    return difference == 0;
}

bool Authorised(const httplib::Request& request, const std::string& password) {
    const std::string header = request.get_header_value("Authorization");
    constexpr std::string_view kBasic = "Basic ";
    if (!header.starts_with(kBasic)) {
        return false;
    }
    const auto credentials = Base64Decoded(std::string_view(header).substr(kBasic.size()));
    const std::size_t colon = credentials ? credentials->find(':') : std::string::npos;
    return colon != std::string::npos && SameSecret(credentials->substr(colon + 1), password);
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

}  // namespace

PlantPage::PlantPage(PageSettings settings, std::string database_url, std::string database_password,
                     const HealthBoard* health)
    : settings_(std::move(settings)),
      database_url_(std::move(database_url)),
      database_password_(std::move(database_password)),
      health_(health) {
    if (!settings_.cert_file.empty()) {
        server_ = std::make_unique<httplib::SSLServer>(settings_.cert_file.c_str(),
                                                       settings_.key_file.c_str());
    } else {
        server_ = std::make_unique<httplib::Server>();
    }
    if (!server_->is_valid()) {
        throw std::runtime_error("the certificate or its key cannot be used");
    }
    Route();
    port_ = settings_.port == 0
                ? server_->bind_to_any_port(settings_.host)
                : (server_->bind_to_port(settings_.host, settings_.port) ? settings_.port : -1);
    if (port_ <= 0) {
        throw std::runtime_error("cannot listen on " + settings_.host + ":" +
                                 std::to_string(settings_.port));
    }
    thread_ = std::thread([this] { server_->listen_after_bind(); });
}

PlantPage::~PlantPage() {
    feed_.Close();
    server_->stop();
    thread_.join();
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
}

void PlantPage::Route() {
    httplib::Server& server = *server_;
    server.new_task_queue = [] { return new httplib::ThreadPool(kWorkers); };
    server.set_payload_max_length(kLargestRequestBody);
    server.set_read_timeout(kSlowClient);
    server.set_write_timeout(kSlowClient);
    server.set_keep_alive_timeout(5);
    server.set_pre_routing_handler([this](const httplib::Request& request,
                                          httplib::Response& response) {
        if (request.headers.size() > kMostHeaders) {
            response.status = 431;
            response.set_content("Za dużo nagłówków", kPlainText);
            return httplib::Server::HandlerResponse::Handled;
        }
        if (!settings_.password.empty() && !Authorised(request, settings_.password)) {
            response.status = 401;
            response.set_header("WWW-Authenticate", R"(Basic realm="Tarvelio", charset="UTF-8")");
            response.set_content("Wymagane hasło", kPlainText);
            return httplib::Server::HandlerResponse::Handled;
        }
        response.set_header("Cache-Control", "no-store");
        response.set_header("X-Content-Type-Options", "nosniff");
        return httplib::Server::HandlerResponse::Unhandled;
    });

    const auto file = [&](const char* path, const std::string& source, const char* type) {
        server.Get(path, [content = ReadFile(source), type](const httplib::Request&,
                                                            httplib::Response& response) {
            response.set_header("Content-Security-Policy",
                                "default-src 'self'; style-src 'self'; script-src 'self'");
            response.set_content(content, type);
        });
    };
    file("/", settings_.files + "/index.html", "text/html; charset=utf-8");
    file("/plant.js", settings_.files + "/plant.js", "text/javascript; charset=utf-8");
    file("/plant.css", settings_.files + "/plant.css", "text/css; charset=utf-8");
    file("/chart.js", settings_.chart_js, "text/javascript; charset=utf-8");

    // Every answer below reads the database through a connection of its own.
    const auto with_database = [this](auto answer) {
        return [this, answer](const httplib::Request& request, httplib::Response& response) {
            try {
                const auto database = OpenDatabase(database_url_, database_password_);
                answer(*database, request, response);
            } catch (const std::exception& error) {
                response.status = 503;
                response.set_content(std::string("Baza danych niedostępna: ") + error.what(),
                                     kPlainText);
            }
        };
    };

    server.Get(
        "/api/stations",
        with_database([](Database& database, const httplib::Request&, httplib::Response& response) {
            Json stations = Json::object();
            for (const Row& row :
                 database.Query("SELECT station, online FROM stations ORDER BY station", {})) {
                stations[*row[0]] = {{"online", IsTrue(row[1])}, {"scales", Json::object()}};
            }
            for (const Row& row : database.Query("SELECT station, scale, connected, reading, "
                                                 "motion, \"range\" FROM scale_states",
                                                 {})) {
                Json& station = stations[*row[0]];
                if (!station.contains("online")) {
                    station = {{"online", false}, {"scales", Json::object()}};
                }
                station["scales"][*row[1]] = {
                    {"connected", IsTrue(row[2])},
                    {"reading", Text(row[3])},
                    {"motion", row[4] ? Json(IsTrue(row[4])) : Json(nullptr)},
                    {"range", Text(row[5])}};
            }
            response.set_content(stations.dump(-1, ' ', false, Json::error_handler_t::replace),
                                 kJsonType);
        }));

    server.Get("/api/day", with_database([](Database& database, const httplib::Request& request,
                                            httplib::Response& response) {
                   const auto read = ReadDayQuery(ParametersOf(request), Today());
                   if (const auto* problem = std::get_if<std::string>(&read)) {
                       return BadRequest(response, *problem);
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
                   response.set_content(answer.dump(-1, ' ', false, Json::error_handler_t::replace),
                                        kJsonType);
               }));

    server.Get("/api/daily", with_database([](Database& database, const httplib::Request& request,
                                              httplib::Response& response) {
                   const auto read = ReadDayQuery(ParametersOf(request), Today());
                   if (const auto* problem = std::get_if<std::string>(&read)) {
                       return BadRequest(response, *problem);
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
                   response.set_content(
                       Json{{"from", first.Text()}, {"to", last.Text()}, {"days", days}}.dump(
                           -1, ' ', false, Json::error_handler_t::replace),
                       kJsonType);
               }));

    const auto export_range = [&](const char* path, bool csv) {
        server.Get(path, with_database([csv](Database& database, const httplib::Request& request,
                                             httplib::Response& response) {
                       const auto read = ReadRangeQuery(ParametersOf(request));
                       if (const auto* problem = std::get_if<std::string>(&read)) {
                           return BadRequest(response, *problem);
                       }
                       const RangeQuery& range = std::get<RangeQuery>(read);
                       const std::vector<Row> rows =
                           database.Query(kExportRows, {range.from.Text(), Next(range.to)});
                       const std::string name = "wazenia_" + range.from.Text() + "_" +
                                                range.to.Text() + (csv ? ".csv" : ".json");
                       response.set_header("Content-Disposition",
                                           "attachment; filename=\"" + name + "\"");
                       if (!csv) {
                           Json all = Json::array();
                           for (const Row& row : rows) {
                               all.push_back({{"id", Text(row[0])},
                                              {"station", Text(row[1])},
                                              {"scale", std::stoi(row[2].value_or("0"))},
                                              {"reading", Text(row[3])},
                                              {"weight", Number(row[4])},
                                              {"time", Text(row[5])},
                                              {"line", Text(row[6])}});
                           }
                           return response.set_content(
                               all.dump(-1, ' ', false, Json::error_handler_t::replace), kJsonType);
                       }
                       std::string text = "\xEF\xBB\xBFid;pokój;waga;czas;odczyt;masa;linia\r\n";
                       text.reserve(rows.size() * 160);
                       for (const Row& row : rows) {
                           text.append(CsvField(row[0].value_or("")))
                               .append(1, ';')
                               .append(CsvField(row[1].value_or("")))
                               .append(1, ';')
                               .append(row[2].value_or(""))
                               .append(1, ';')
                               .append(CsvField(row[5].value_or("")))
                               .append(1, ';')
                               .append(CsvField(row[3].value_or("")))
                               .append(1, ';')
                               .append(DecimalComma(row[4].value_or("")))
                               .append(1, ';')
                               .append(CsvField(row[6].value_or("")))
                               .append("\r\n");
                       }
                       response.set_content(text, "text/csv; charset=utf-8");
                   }));
    };
    export_range("/api/export.csv", true);
    export_range("/api/export.json", false);

    // Server-Sent Events: what the ledger writes, gathered for a tenth of a second per write, and
    // a comment now and then so that a page notices a lost connection.
    server.Get("/api/live", [this](const httplib::Request&, httplib::Response& response) {
        auto seen = std::make_shared<std::uint64_t>(feed_.Latest());
        ++live_pages_;
        const std::shared_ptr<void> open(nullptr, [this](void*) { --live_pages_; });
        response.set_chunked_content_provider(
            "text/event-stream", [this, seen, open](std::size_t, httplib::DataSink& sink) {
                LiveFeed::Read read = feed_.After(*seen, kLiveKeepAlive);
                if (!read.events.empty() && !read.lost) {
                    std::this_thread::sleep_for(kLiveGathering);
                    LiveFeed::Read more = feed_.After(*seen, 0ms);
                    read.lost = more.lost;
                    read.closed = more.closed;
                    read.events.insert(read.events.end(), more.events.begin(), more.events.end());
                }
                if (read.closed) {
                    sink.done();
                    return false;
                }
                std::string out = read.lost ? "event: lost\ndata: {}\n\n" : "";
                for (const std::string& event : read.events) {
                    out.append("data: ").append(event).append("\n\n");
                }
                if (out.empty()) {
                    out = ": keep-alive\n\n";
                }
                return sink.write(out.data(), out.size());
            });
    });

    // For a plant's monitoring: 200 only while the ledger can store.
    server.Get("/api/health", [this](const httplib::Request&, httplib::Response& response) {
        const LedgerHealth health = health_ != nullptr ? health_->Snapshot() : LedgerHealth{};
        response.status = health.Healthy() ? 200 : 503;
        response.set_content(HealthJson(health), "application/json");
    });
    server.Get("/metrics", [this](const httplib::Request&, httplib::Response& response) {
        const LedgerHealth health = health_ != nullptr ? health_->Snapshot() : LedgerHealth{};
        response.set_content(HealthMetrics(health, live_pages_),
                             "text/plain; version=0.0.4; charset=utf-8");
    });
}

}  // namespace station::ledger
