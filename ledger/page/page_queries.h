#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ledger/page/page_request.h"
#include "ledger/store/database.h"

namespace station::ledger {

// Every statement the page and its exports run, and the typed rows they give: the one place on
// the page's side that knows the tables' columns (LedgerTables holds the writer's). A stored
// value that does not read as its type throws std::invalid_argument or std::out_of_range, a
// failing database DatabaseError.

// With seals verified, what the ledger knows of a room's: its key's fingerprint (empty: none),
// whether the settings pinned it, and its first weighing whose seal failed (empty: none).
struct RoomSeal {
    std::string key;
    bool pinned = false;
    std::string first_break;
};

struct StationSeen {
    std::string station;
    bool online = false;
    std::optional<std::string> since;  // when the ledger heard it come or go, its ISO time
    long disputed = 0;                 // its weighings whose id came again with other content
    std::optional<RoomSeal> seal = std::nullopt;  // from the ledger's memory
};

struct ScaleSeen {
    std::string station;
    std::string scale;
    bool connected = false;
    std::optional<std::string> reading;
    std::optional<bool> motion;
    std::optional<std::string> range;
    std::optional<std::string> unit;
};

struct StoredWeighing {
    std::optional<std::string> id;
    std::optional<std::string> station;
    int scale = 0;
    std::optional<std::string> reading;
    std::optional<std::string> weight;  // as the database writes the number
    std::optional<std::string> unit;
    std::optional<std::string> time;
    std::optional<std::string> line;                 // read by the exports only
    bool disputed = false;                           // its id came again with other content
    std::optional<std::string> seal = std::nullopt;  // read by the exports only
};

// Sums are per unit: a scale that weighed in two units has two.
struct ScaleTotal {
    std::optional<std::string> station;
    int scale = 0;
    std::optional<std::string> unit;
    long count = 0;
    std::optional<double> sum;
};

struct HourCount {
    std::optional<std::string> station;
    int hour = 0;
    long count = 0;
};

struct DaySum {
    std::optional<std::string> station;
    std::optional<std::string> day;
    std::optional<std::string> unit;
    long count = 0;
    std::optional<double> sum;
};

// One day's count and sum of a room's scale, in one unit.
struct RangeSum {
    std::optional<std::string> day;
    std::optional<std::string> station;
    int scale = 0;
    std::optional<std::string> unit;
    long count = 0;
    std::optional<double> sum;
};

std::vector<StationSeen> StationsSeen(Database& database);
// A room the ledger has heard of: by its status, a weighing or a scale's state.
bool RoomKnown(Database& database, const std::string& station);
std::vector<ScaleSeen> ScalesSeen(Database& database);

// The query's weighings in its order: at most `limit` from `offset` on.
std::vector<StoredWeighing> DayWeighings(Database& database, const DayQuery& query, long limit,
                                         long offset);
std::vector<ScaleTotal> DayTotals(Database& database, const DayQuery& query);
// The same over the range's days, of its room and scale.
std::vector<ScaleTotal> RangeTotals(Database& database, const RangeQuery& range);
// A time stored before times were checked at the door has no hour and is left out.
std::vector<HourCount> DayHours(Database& database, const DayQuery& query);
// Each room's count and sum per day and unit over the range, of its room and scale.
std::vector<DaySum> DailySums(Database& database, const RangeQuery& range);

// Each day's count and sum per room, scale and unit over the range, of its room and scale, in the
// order of day, room, scale and unit: at most `limit`.
std::vector<RangeSum> RangeSums(Database& database, const RangeQuery& range, long limit);

// At most `limit` weighings of the range's room and scale before the day after the range and
// after (`after_time`, `after_id`) in the order of time and id (the index's, which each block
// enters where the last left it); no id after a time starts at that time.
std::vector<StoredWeighing> WeighingsAfter(Database& database, const RangeQuery& range,
                                           const std::string& after_time,
                                           const std::string& after_id, long limit);

}  // namespace station::ledger
