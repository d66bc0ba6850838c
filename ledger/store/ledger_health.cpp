#include "ledger/store/ledger_health.h"

#include <nlohmann/json.hpp>

#include <array>
#include <charconv>
#include <sstream>
#include <string_view>

#include "protocol/iso_time.h"

namespace station::ledger {
namespace {

// A label's value as the text format quotes it.
std::string Label(const std::string& value) {
    std::string quoted;
    for (const char c : value) {
        if (c == '\\' || c == '"') {
            quoted += '\\';
            quoted += c;
        } else if (c == '\n') {
            quoted += "\\n";
        } else {
            quoted += c;
        }
    }
    return quoted;
}

class Metrics {
public:
    // `tail` follows the name: labels, or a summary's "_sum" and "_count".
    void Add(const char* name, const char* type, const char* help, double value,
             const std::string& tail = "") {
        if (name != last_) {
            text_ << "# HELP " << name << ' ' << help << "\n# TYPE " << name << ' ' << type << '\n';
            last_ = name;
        }
        // Exact: a stream's six digits would write 3,000,001 weighings as "3e+06".
        std::array<char, 32> digits{};
        const char* end = std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr;
        text_ << name << tail << ' ' << std::string_view(digits.data(), end) << '\n';
    }
    std::string Text() const { return text_.str(); }

private:
    std::ostringstream text_;
    std::string last_;
};

}  // namespace

void LedgerHealth::Heard(LedgerMessage& message, std::optional<std::time_t> now) {
    const auto heard_from = [&](const std::string& room) -> Station& {
        Station& station = stations[room];
        station.last_message = now.value_or(station.last_message);
        return station;
    };
    if (auto* status = std::get_if<StationStatusRow>(&message)) {
        Station& station = heard_from(status->station);
        if (station.online != status->online || station.since.empty()) {
            station.online = status->online;
            station.since = status->received;
        }
        status->received = station.since;
    } else if (const auto* state = std::get_if<ScaleStateRow>(&message)) {
        heard_from(state->station).scales.insert_or_assign(state->scale, *state);
    } else if (const auto* weighing = std::get_if<WeighingRow>(&message)) {
        heard_from(weighing->station);
    }
}

void LedgerHealth::Written(const std::vector<WeighingRow>& weighings,
                           const std::vector<LedgerTables::Stored>& fates, const std::string& stamp,
                           std::time_t now, double seconds) {
    last_write = stamp;
    std::optional<std::time_t> newest;  // of those stored new
    for (std::size_t i = 0; i < weighings.size() && i < fates.size(); ++i) {
        const WeighingRow& row = weighings[i];
        std::string& last = stations[row.station].last_weighing;
        if (row.time && *row.time > last) {
            last = *row.time;
        }
        if (fates[i] != LedgerTables::Stored::kNew) {
            ++weighings_held_already;
            continue;
        }
        ++weighings_stored;
        if (const auto time = row.time ? protocol::IsoSeconds(*row.time) : std::nullopt; time) {
            newest = std::max(newest.value_or(*time), *time);
        }
    }
    if (newest) {
        weighing_lag_seconds = static_cast<double>(now - *newest);
    }
    write_seconds += seconds;
    ++writes;
}

void LedgerHealth::Known(const std::string& room, std::optional<bool> online,
                         const std::string& since) {
    Station& station = stations[room];
    if (!station.online || station.online == online) {
        station.online = online;
        station.since = since;
    }
}

std::string HealthJson(const LedgerHealth& health) {
    nlohmann::ordered_json json;
    json["database"] = health.database_open ? "open" : "away";
    if (!health.database_server.empty()) {
        json["database_server"] = health.database_server;
        json["database_failovers"] = health.database_failovers;
    }
    json["broker"] = health.broker_connected    ? "connected"
                     : health.broker_taken_over ? "taken over"
                                                : "away";
    for (const auto& [name, hall] : health.halls) {
        json["halls"][name] = hall.connected ? "connected" : "cut off";
    }
    json["last_write"] = health.last_write.empty() ? nlohmann::ordered_json()
                                                   : nlohmann::ordered_json(health.last_write);
    nlohmann::ordered_json& stations = json["stations"] = nlohmann::ordered_json::object();
    for (const auto& [name, station] : health.stations) {
        stations[name] = {{"last_weighing", station.last_weighing.empty()
                                                ? nlohmann::ordered_json()
                                                : nlohmann::ordered_json(station.last_weighing)},
                          {"replay", station.replay}};
        if (health.verifying_seals) {
            stations[name]["key"] = station.key;
            stations[name]["key_pinned"] = station.key_pinned;
            stations[name]["seal_break"] = station.seal_break;
        }
    }
    if (health.verifying_seals) {
        json["seals"] = {{"verified", health.seals_verified},
                         {"unsigned", health.seals_unsigned},
                         {"failed", health.seals_failed}};
    }
    return json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string HealthMetrics(const LedgerHealth& health, std::size_t live_pages) {
    const auto count = [](std::uint64_t value) { return static_cast<double>(value); };
    const struct {
        const char* name;
        const char* type;
        const char* help;
        double value;
    } plain[] = {
        {"tarvelio_ledger_up", "gauge", "1 while the database is open and the broker connected",
         health.Healthy() ? 1.0 : 0.0},
        {"tarvelio_ledger_database_open", "gauge", "1 while the database is open",
         health.database_open ? 1.0 : 0.0},
        {"tarvelio_ledger_broker_connected", "gauge", "1 while the broker is connected",
         health.broker_connected ? 1.0 : 0.0},
        {"tarvelio_ledger_broker_taken_over", "gauge",
         "1 while another client holds the ledger's client id at the broker",
         health.broker_taken_over ? 1.0 : 0.0},
        {"tarvelio_ledger_weighings_stored_total", "counter",
         "Weighings written that the database did not hold", count(health.weighings_stored)},
        {"tarvelio_ledger_weighings_held_already_total", "counter",
         "Weighings received again that the database held", count(health.weighings_held_already)},
        {"tarvelio_ledger_replays_asked_total", "counter", "Replay requests sent to stations",
         count(health.replays_asked)},
        {"tarvelio_ledger_replays_through_total", "counter",
         "Replays whose weighings have all come", count(health.replays_through)},
        {"tarvelio_ledger_untrusted_places_total", "counter",
         "Weighings stored whose places in the register cannot be, not trusted for replays",
         count(health.untrusted_places)},
        {"tarvelio_ledger_database_errors_total", "counter",
         "Failed opens and writes of the database", count(health.database_errors)},
        {"tarvelio_ledger_live_pages", "gauge", "Live pages open", count(live_pages)},
        {"tarvelio_ledger_database_failovers_total", "counter",
         "Opens of the database on a server other than the last one",
         count(health.database_failovers)},
    };
    Metrics metrics;
    for (const auto& metric : plain) {
        metrics.Add(metric.name, metric.type, metric.help, metric.value);
    }
    if (!health.database_server.empty()) {
        metrics.Add("tarvelio_ledger_database_server", "gauge",
                    "1 for the database server last open, host:port", 1.0,
                    "{server=\"" + Label(health.database_server) + "\"}");
    }
    for (const auto& [kind, rejected] : health.rejected) {
        metrics.Add("tarvelio_ledger_rejected_total", "counter",
                    "Messages put in the rejected table, by kind", count(rejected),
                    "{kind=\"" + Label(kind) + "\"}");
    }
    if (health.verifying_seals) {
        for (const auto& [verdict, counted] : {std::pair{"verified", health.seals_verified},
                                               std::pair{"unsigned", health.seals_unsigned},
                                               std::pair{"failed", health.seals_failed}}) {
            metrics.Add("tarvelio_ledger_weighings_sealed_total", "counter",
                        "Weighings judged by their seals, by verdict", count(counted),
                        std::string("{verdict=\"") + verdict + "\"}");
        }
    }
    if (health.weighing_lag_seconds) {
        metrics.Add("tarvelio_ledger_weighing_lag_seconds", "gauge",
                    "From the newest weighing's own time to its row, in the last batch",
                    *health.weighing_lag_seconds);
    }
    // Per room, each gauge's rooms together, as the format wants; a time the ledger does not know
    // is left out rather than written as 0, which an alert would take for long ago.
    const auto per_room = [&](const char* name, const char* help, auto value) {
        for (const auto& [room, station] : health.stations) {
            if (const std::optional<double> shown = value(station)) {
                metrics.Add(name, "gauge", help, *shown, "{room=\"" + Label(room) + "\"}");
            }
        }
    };
    using Station = LedgerHealth::Station;
    per_room("tarvelio_ledger_room_online", "1 while the room's status is online",
             [](const Station& station) {
                 return station.online ? std::optional(*station.online ? 1.0 : 0.0) : std::nullopt;
             });
    per_room("tarvelio_ledger_room_last_message_timestamp_seconds",
             "When the ledger last heard from the room (since it started)",
             [](const Station& station) {
                 return station.last_message != 0
                            ? std::optional(static_cast<double>(station.last_message))
                            : std::nullopt;
             });
    per_room("tarvelio_ledger_room_last_weighing_timestamp_seconds",
             "The time of the room's newest weighing stored", [](const Station& station) {
                 const auto time = protocol::IsoSeconds(station.last_weighing);
                 return time ? std::optional(static_cast<double>(*time)) : std::nullopt;
             });
    per_room("tarvelio_ledger_room_replay_running",
             "1 while the room's replay is asked, not through", [](const Station& station) {
                 return std::optional(station.replay == "asked" ? 1.0 : 0.0);
             });
    if (health.verifying_seals) {
        per_room("tarvelio_ledger_room_seal_broken",
                 "1 once a weighing of the room's failed its seal", [](const Station& station) {
                     return std::optional(station.seal_break.empty() ? 0.0 : 1.0);
                 });
    }
    for (const auto& [name, hall] : health.halls) {
        metrics.Add("tarvelio_ledger_hall_connected", "gauge",
                    "1 while the hall broker's bridge to the ledger's is up",
                    hall.connected ? 1 : 0, "{hall=\"" + Label(name) + "\"}");
    }
    constexpr const char* kWrite = "Time of each batch's transaction";
    metrics.Add("tarvelio_ledger_write_seconds", "summary", kWrite, health.write_seconds, "_sum");
    metrics.Add("tarvelio_ledger_write_seconds", "summary", kWrite, count(health.writes), "_count");
    return metrics.Text();
}

}  // namespace station::ledger
