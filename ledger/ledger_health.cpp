#include "ledger/ledger_health.h"

#include <nlohmann/json.hpp>

#include <sstream>

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
        text_ << name << tail << ' ' << value << '\n';
    }
    std::string Text() const { return text_.str(); }

private:
    std::ostringstream text_;
    std::string last_;
};

}  // namespace

std::string HealthJson(const LedgerHealth& health) {
    nlohmann::ordered_json json;
    json["database"] = health.database_open ? "open" : "away";
    json["broker"] = health.broker_connected ? "connected" : "away";
    json["last_write"] = health.last_write.empty() ? nlohmann::ordered_json()
                                                   : nlohmann::ordered_json(health.last_write);
    nlohmann::ordered_json& stations = json["stations"] = nlohmann::ordered_json::object();
    for (const auto& [name, station] : health.stations) {
        stations[name] = {{"last_weighing", station.last_weighing.empty()
                                                ? nlohmann::ordered_json()
                                                : nlohmann::ordered_json(station.last_weighing)},
                          {"replay", station.replay}};
    }
    return json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string HealthMetrics(const LedgerHealth& health, std::size_t live_pages) {
    Metrics metrics;
    metrics.Add("tarvelio_ledger_up", "gauge",
                "1 while the database is open and the broker connected", health.Healthy());
    metrics.Add("tarvelio_ledger_database_open", "gauge", "1 while the database is open",
                health.database_open);
    metrics.Add("tarvelio_ledger_broker_connected", "gauge", "1 while the broker is connected",
                health.broker_connected);
    metrics.Add("tarvelio_ledger_weighings_stored_total", "counter",
                "Weighings written that the database did not hold",
                static_cast<double>(health.weighings_stored));
    metrics.Add("tarvelio_ledger_weighings_held_already_total", "counter",
                "Weighings received again that the database held",
                static_cast<double>(health.weighings_held_already));
    for (const auto& [kind, count] : health.rejected) {
        metrics.Add("tarvelio_ledger_rejected_total", "counter",
                    "Messages put in the rejected table, by kind", static_cast<double>(count),
                    "{kind=\"" + Label(kind) + "\"}");
    }
    metrics.Add("tarvelio_ledger_replays_asked_total", "counter",
                "Replay requests sent to stations", static_cast<double>(health.replays_asked));
    metrics.Add("tarvelio_ledger_replays_through_total", "counter",
                "Replays whose weighings have all come",
                static_cast<double>(health.replays_through));
    metrics.Add("tarvelio_ledger_database_errors_total", "counter",
                "Failed opens and writes of the database",
                static_cast<double>(health.database_errors));
    metrics.Add("tarvelio_ledger_live_pages", "gauge", "Live pages open",
                static_cast<double>(live_pages));
    metrics.Add("tarvelio_ledger_write_seconds", "summary", "Time of each batch's transaction",
                health.write_seconds, "_sum");
    metrics.Add("tarvelio_ledger_write_seconds", "summary", "Time of each batch's transaction",
                static_cast<double>(health.writes), "_count");
    return metrics.Text();
}

}  // namespace station::ledger
