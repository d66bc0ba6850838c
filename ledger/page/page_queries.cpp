#include "ledger/page/page_queries.h"

#include "common/ascii.h"

namespace station::ledger {
namespace {

constexpr const char* kFilter =
    " FROM weighings WHERE time >= $1 AND time < $2 AND ($3 = '' OR station = $3)"
    " AND ($4 = 0 OR scale = $4)";
// The day's rows in each order the page offers, the newest first among equals: the order is
// chosen among these statements, never written into one.
std::string DayRowsBy(const char* order) {
    return std::string("SELECT id, station, scale, reading, weight, unit, time, disputed") +
           kFilter + " ORDER BY " + order + "time DESC, id DESC LIMIT $5 OFFSET $6";
}
const std::string kDayRows[][2] = {
    {DayRowsBy(""), DayRowsBy("time ASC, id ASC, ")},
    {DayRowsBy("station DESC, "), DayRowsBy("station ASC, ")},
    {DayRowsBy("scale DESC, "), DayRowsBy("scale ASC, ")},
    {DayRowsBy("weight DESC NULLS LAST, "), DayRowsBy("weight ASC NULLS FIRST, ")},
};
const std::string kDayTotals = std::string("SELECT station, scale, unit, COUNT(*), SUM(weight)") +
                               kFilter +
                               " GROUP BY station, scale, unit ORDER BY station, scale, unit";
const std::string kDayHours = std::string("SELECT station, substr(time, 12, 2), COUNT(*)") +
                              kFilter + " GROUP BY station, substr(time, 12, 2)";
const std::string kDailySums = std::string(
                                   "SELECT station, substr(time, 1, 10), unit, COUNT(*), "
                                   "SUM(weight)") +
                               kFilter + " GROUP BY station, substr(time, 1, 10), unit";
const std::string kRangeSums =
    std::string("SELECT substr(time, 1, 10), station, scale, unit, COUNT(*), SUM(weight)") +
    kFilter + " GROUP BY substr(time, 1, 10), station, scale, unit ORDER BY 1, 2, 3, 4 LIMIT $5";
constexpr const char* kExportBlock =
    "SELECT id, station, scale, reading, weight, unit, time, disputed, line, seal FROM weighings"
    " WHERE time < $1 AND (time, id) > ($2, $3) AND ($4 = '' OR station = $4)"
    " AND ($5 = 0 OR scale = $5) ORDER BY time, id LIMIT $6";
constexpr const char* kStations =
    "SELECT station, online, status_received, (SELECT COUNT(*) FROM weighings "
    "WHERE disputed AND weighings.station = stations.station) FROM stations ORDER BY station";
constexpr const char* kRoomKnown =
    "SELECT 1 FROM stations WHERE station = $1 UNION ALL "
    "SELECT 1 FROM scale_states WHERE station = $1 LIMIT 1";
constexpr const char* kScaleStates =
    "SELECT station, scale, connected, reading, motion, \"range\", unit FROM scale_states";

std::optional<double> Number(const std::optional<std::string>& text) {
    return text ? std::optional(std::stod(*text)) : std::nullopt;
}

int Integer(const std::optional<std::string>& text) {
    return std::stoi(text.value_or("0"));
}

long Count(const std::optional<std::string>& text) {
    return std::stol(text.value_or("0"));
}

std::vector<Value> Filter(const DayQuery& query) {
    return {query.day.Text(), query.day.Plus(1).Text(), query.station, std::int64_t{query.scale}};
}

std::vector<Value> Filter(const RangeQuery& range) {
    return {range.from.Text(), range.to.Plus(1).Text(), range.station, std::int64_t{range.scale}};
}

StoredWeighing WeighingOf(const Row& row) {
    return {row[0],          row[1],
            Integer(row[2]), row[3],
            row[4],          row[5],
            row[6],          row.size() > 8 ? row[8] : std::nullopt,
            IsTrue(row[7]),  row.size() > 9 ? row[9] : std::nullopt};
}

}  // namespace

std::vector<StationSeen> StationsSeen(Database& database) {
    std::vector<StationSeen> stations;
    for (const Row& row : database.Query(kStations, {})) {
        stations.push_back({row[0].value_or(""), IsTrue(row[1]), row[2], Count(row[3])});
    }
    return stations;
}

bool RoomKnown(Database& database, const std::string& station) {
    return !database.Query(kRoomKnown, {station}).empty();
}

std::vector<ScaleSeen> ScalesSeen(Database& database) {
    std::vector<ScaleSeen> scales;
    for (const Row& row : database.Query(kScaleStates, {})) {
        scales.push_back({row[0].value_or(""), row[1].value_or(""), IsTrue(row[2]), row[3],
                          row[4] ? std::optional(IsTrue(row[4])) : std::nullopt, row[5], row[6]});
    }
    return scales;
}

std::vector<StoredWeighing> DayWeighings(Database& database, const DayQuery& query, long limit,
                                         long offset) {
    std::vector<Value> values = Filter(query);
    values.emplace_back(std::int64_t{limit});
    values.emplace_back(std::int64_t{offset});
    std::vector<StoredWeighing> weighings;
    const std::string& statement =
        kDayRows[static_cast<std::size_t>(query.order)][query.ascending ? 1 : 0];
    for (const Row& row : database.Query(statement.c_str(), values)) {
        weighings.push_back(WeighingOf(row));
    }
    return weighings;
}

std::vector<ScaleTotal> Totals(Database& database, const std::vector<Value>& filter) {
    std::vector<ScaleTotal> totals;
    for (const Row& row : database.Query(kDayTotals.c_str(), filter)) {
        totals.push_back({row[0], Integer(row[1]), row[2], Count(row[3]), Number(row[4])});
    }
    return totals;
}

std::vector<ScaleTotal> DayTotals(Database& database, const DayQuery& query) {
    return Totals(database, Filter(query));
}

std::vector<ScaleTotal> RangeTotals(Database& database, const RangeQuery& range) {
    return Totals(database, Filter(range));
}

std::vector<HourCount> DayHours(Database& database, const DayQuery& query) {
    std::vector<HourCount> hours;
    for (const Row& row : database.Query(kDayHours.c_str(), Filter(query))) {
        const std::string hour = row[1].value_or("");
        if (hour.size() == 2 && IsDigit(hour[0]) && IsDigit(hour[1])) {
            hours.push_back({row[0], std::stoi(hour), Count(row[2])});
        }
    }
    return hours;
}

std::vector<DaySum> DailySums(Database& database, const RangeQuery& range) {
    std::vector<DaySum> days;
    for (const Row& row : database.Query(kDailySums.c_str(), Filter(range))) {
        days.push_back({row[0], row[1], row[2], Count(row[3]), Number(row[4])});
    }
    return days;
}

std::vector<RangeSum> RangeSums(Database& database, const RangeQuery& range, long limit) {
    std::vector<Value> values = Filter(range);
    values.emplace_back(std::int64_t{limit});
    std::vector<RangeSum> sums;
    for (const Row& row : database.Query(kRangeSums.c_str(), values)) {
        sums.push_back({row[0], row[1], Integer(row[2]), row[3], Count(row[4]), Number(row[5])});
    }
    return sums;
}

std::vector<StoredWeighing> WeighingsAfter(Database& database, const RangeQuery& range,
                                           const std::string& after_time,
                                           const std::string& after_id, long limit) {
    std::vector<StoredWeighing> weighings;
    for (const Row& row :
         database.Query(kExportBlock, {range.to.Plus(1).Text(), after_time, after_id, range.station,
                                       std::int64_t{range.scale}, std::int64_t{limit}})) {
        weighings.push_back(WeighingOf(row));
    }
    return weighings;
}

}  // namespace station::ledger
