#include "ledger/store/ledger_tables.h"

#include <algorithm>
#include <map>
#include <numeric>
#include <utility>

#include "ledger/store/ledger_message.h"
#include "protocol/topics.h"
#include "protocol/weighing.h"
#include "protocol/weighing_id.h"

namespace station::ledger {
namespace {

// Types both databases read alike; times are ISO 8601 texts, which order as the times do within
// one offset from UTC.
constexpr const char* kVersion1[] = {
    "CREATE TABLE IF NOT EXISTS stations (station TEXT PRIMARY KEY, client_id TEXT, "
    "online BOOLEAN, status_received TEXT, newest_month BIGINT)",
    "CREATE TABLE IF NOT EXISTS weighings (id TEXT PRIMARY KEY, station TEXT NOT NULL, "
    "scale BIGINT NOT NULL, reading TEXT NOT NULL, weight DOUBLE PRECISION, time TEXT, "
    "line TEXT NOT NULL, received TEXT NOT NULL)",
    "CREATE TABLE IF NOT EXISTS scale_states (station TEXT NOT NULL, scale BIGINT NOT NULL, "
    "connected BOOLEAN NOT NULL, reading TEXT NOT NULL, motion BOOLEAN, \"range\" TEXT, time TEXT, "
    "received TEXT NOT NULL, PRIMARY KEY (station, scale))",
    "CREATE TABLE IF NOT EXISTS rejected (topic TEXT NOT NULL, payload TEXT NOT NULL, "
    "reason TEXT NOT NULL, received TEXT NOT NULL)",
};
// The indexes a day's weighings per room are read by.
constexpr const char* kVersion2[] = {
    "CREATE INDEX IF NOT EXISTS weighings_by_time ON weighings (time)",
    "CREATE INDEX IF NOT EXISTS weighings_by_station ON weighings (station, time)",
};

// The day's sums and hours read from the index alone, without a lookup per weighing; it starts
// with the time, so it serves the time order too.
constexpr const char* kVersion3[] = {
    "CREATE INDEX IF NOT EXISTS weighings_by_time_with_sums ON weighings "
    "(time, station, scale, weight)",
    "DROP INDEX IF EXISTS weighings_by_time",
};

// The id after the time: the export's blocks go on from a time and an id by the index alone,
// however many weighings share a time.
constexpr const char* kVersion4[] = {
    "CREATE INDEX IF NOT EXISTS weighings_by_time_and_id_with_sums ON weighings "
    "(time, id, station, scale, weight)",
    "DROP INDEX IF EXISTS weighings_by_time_with_sums",
};

// The unit each weighing and state was read in; rows from before it were kilograms, as a message
// without one still means.
// The sums are per unit, so the index the day's sums are read from holds it.
constexpr const char* kVersion5[] = {
    "ALTER TABLE weighings ADD COLUMN unit TEXT NOT NULL DEFAULT 'kg'",
    "ALTER TABLE scale_states ADD COLUMN unit TEXT NOT NULL DEFAULT 'kg'",
    ("CREATE INDEX IF NOT EXISTS weighings_by_time_and_id_with_units ON weighings "
     "(time, id, station, scale, unit, weight)"),
    "DROP INDEX IF EXISTS weighings_by_time_and_id_with_sums",
};

// Where each station's register is held through, so that a replay asks only for what follows.
constexpr const char* kVersion6[] = {
    "ALTER TABLE stations ADD COLUMN held_month BIGINT",
    "ALTER TABLE stations ADD COLUMN held_offset BIGINT",
};

// Where each weighing's line ends and where the weighing line before it ended, where the station
// said so and they can be: a ledger walks on over the weighings another ledger of its group wrote.
constexpr const char* kVersion7[] = {
    "ALTER TABLE weighings ADD COLUMN next_offset BIGINT",
    "ALTER TABLE weighings ADD COLUMN after_place TEXT",
};

// A weighing whose id came again with other content is disputed; the few disputed are found
// per room by an index of their own.
// Rejected rows are kept per kind, the first and the last kRejectedKept (a slot each), and all are
// counted: a flood of them neither fills the disk nor hides how many came.
constexpr const char* kVersion8[] = {
    "ALTER TABLE weighings ADD COLUMN disputed BOOLEAN NOT NULL DEFAULT FALSE",
    "CREATE INDEX IF NOT EXISTS weighings_disputed ON weighings (station) WHERE disputed",
    "ALTER TABLE rejected ADD COLUMN kind TEXT",
    "ALTER TABLE rejected ADD COLUMN slot BIGINT",
    "CREATE UNIQUE INDEX IF NOT EXISTS rejected_by_slot ON rejected (kind, slot)",
    "CREATE TABLE IF NOT EXISTS rejected_counts (kind TEXT PRIMARY KEY, seen BIGINT NOT NULL)",
};

struct Step {
    const char* const* begin;
    const char* const* end;
};
constexpr Step kSteps[] = {
    {std::begin(kVersion1), std::end(kVersion1)}, {std::begin(kVersion2), std::end(kVersion2)},
    {std::begin(kVersion3), std::end(kVersion3)}, {std::begin(kVersion4), std::end(kVersion4)},
    {std::begin(kVersion5), std::end(kVersion5)}, {std::begin(kVersion6), std::end(kVersion6)},
    {std::begin(kVersion7), std::end(kVersion7)}, {std::begin(kVersion8), std::end(kVersion8)}};
static_assert(std::size(kSteps) == kSchemaVersion);

constexpr const char* kSetVersion = "UPDATE ledger_schema SET version = $1 WHERE one = 1";

constexpr const char* kInsertWeighing =
    "INSERT INTO weighings (id, station, scale, reading, weight, time, line, received, unit, "
    "next_offset, after_place) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11) "
    "ON CONFLICT (id) DO NOTHING";
// Run after the weighing's insert, when that found the id held: where it is held with other
// content (a forgery may copy the line and change the reading, the unit or the time), the one held
// is marked disputed. It stays: a forged weighing cannot replace a station's.
constexpr const char* kDispute =
    "UPDATE weighings SET disputed = TRUE WHERE id = $1 AND (line <> $2 OR reading <> $3 OR "
    "unit <> $4 OR time IS DISTINCT FROM $5)";
// Run after the weighing's insert, when that found the id held with the same content but without
// usable places (a row of an older ledger): the places it comes with are stored for walks.
constexpr const char* kFillPlaces =
    "UPDATE weighings SET next_offset = $1, after_place = $2 WHERE id = $3 AND next_offset IS NULL "
    "AND line = $4 AND reading = $5 AND unit = $6 AND time IS NOT DISTINCT FROM $7";
constexpr const char* kStationOfWeighings =
    "INSERT INTO stations (station, client_id, newest_month) VALUES ($1, $2, $3) "
    "ON CONFLICT (station) DO UPDATE SET "
    "client_id = COALESCE(stations.client_id, excluded.client_id), "
    "newest_month = CASE WHEN stations.newest_month IS NULL "
    "OR stations.newest_month < excluded.newest_month "
    "THEN excluded.newest_month ELSE stations.newest_month END";
// (SQLite numbers $N parameters in the order they first appear.)
constexpr const char* kHeldThrough =
    "UPDATE stations SET held_month = $1, held_offset = $2 WHERE station = $3";
constexpr const char* kStationStatus =
    "INSERT INTO stations (station, online, status_received) VALUES ($1, $2, $3) "
    "ON CONFLICT (station) DO UPDATE SET online = excluded.online, "
    "status_received = CASE WHEN stations.online = excluded.online "
    "THEN stations.status_received ELSE excluded.status_received END";
constexpr const char* kScaleState =
    "INSERT INTO scale_states (station, scale, connected, reading, motion, \"range\", time, "
    "received, unit) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9) ON CONFLICT (station, scale) "
    "DO UPDATE SET connected = excluded.connected, reading = excluded.reading, "
    "motion = excluded.motion, \"range\" = excluded.\"range\", time = excluded.time, "
    "received = excluded.received, unit = excluded.unit";
// From the place `$1` in the month whose ids start `$2`, on over the weighings whose line starts
// where the one before ends, at most `$3` of them: where the last ends, and how many there were.
constexpr const char* kWalkMonth =
    "WITH RECURSIVE walk (place, steps) AS (SELECT CAST($1 AS BIGINT), 0 UNION ALL "
    "SELECT w.next_offset, walk.steps + 1 FROM walk JOIN weighings w "
    "ON w.id = $2 || CAST(walk.place AS TEXT) "
    "WHERE walk.steps < $3 AND w.next_offset > walk.place) "
    "SELECT place, steps FROM walk ORDER BY steps DESC LIMIT 1";
// The first line of a month, when it is a weighing that follows on from the place `$2`.
constexpr const char* kMonthsFirst =
    "SELECT next_offset FROM weighings WHERE id = $1 AND after_place = $2 "
    "AND next_offset > 0";
// A rejected row: counted, then in the slot its count gives it (the first kept, $6 of them, then
// a ring of $6 over the last).
constexpr const char* kCountRejected =
    "INSERT INTO rejected_counts (kind, seen) VALUES ($1, 1) "
    "ON CONFLICT (kind) DO UPDATE SET seen = rejected_counts.seen + 1";
constexpr const char* kRejected =
    "INSERT INTO rejected (topic, payload, reason, received, kind, slot) "
    "SELECT $1, $2, $3, $4, $5, CASE WHEN seen <= $6 THEN seen - 1 ELSE $6 + (seen - $6 - 1) % $6 "
    "END FROM rejected_counts WHERE kind = $5 ON CONFLICT (kind, slot) DO UPDATE SET "
    "topic = excluded.topic, payload = excluded.payload, reason = excluded.reason, "
    "received = excluded.received";

Value Optional(const std::optional<std::string>& text) {
    return text ? Value(*text) : Value();
}

Value Flag(bool flag) {
    return Value(std::int64_t{flag ? 1 : 0});
}

int Version(Database& database) {
    database.Transact(
        {{"CREATE TABLE IF NOT EXISTS ledger_schema (one BIGINT PRIMARY KEY, "
          "version BIGINT NOT NULL)",
          {}},
         {"INSERT INTO ledger_schema (one, version) VALUES (1, 0) ON CONFLICT (one) DO NOTHING",
          {}}});
    const std::vector<Row> rows = database.Query("SELECT version FROM ledger_schema", {});
    return rows.size() == 1 && rows[0][0] ? std::stoi(*rows[0][0]) : 0;
}

}  // namespace

void UpgradeSchema(Database& database, int to) {
    const int version = Version(database);
    if (version > kSchemaVersion) {
        throw DatabaseError("the schema is version " + std::to_string(version) +
                            ", newer than this ledger's " + std::to_string(kSchemaVersion));
    }
    for (int next = version + 1; next <= to; ++next) {
        std::vector<Command> commands;
        const Step& step = kSteps[next - 1];
        for (const char* const* sql = step.begin; sql != step.end; ++sql) {
            commands.push_back({*sql, {}});
        }
        commands.push_back({kSetVersion, {std::int64_t{next}}});
        database.Transact(commands);
    }
}

LedgerTables::LedgerTables(Database& database) : database_(database) {
    UpgradeSchema(database_);
}

bool LedgerTables::ReleaseClientId(const std::string& station) {
    return database_.Transact({{"UPDATE stations SET client_id = NULL WHERE station = $1 AND "
                                "client_id IS NOT NULL",
                                {station}}})[0] == 1;
}

std::size_t LedgerTables::ReleaseForged(const std::string& station, const std::string& topic_prefix,
                                        const std::string& received) {
    const std::vector<Row> rows = database_.Query(
        "SELECT id, scale, reading, unit, time, line FROM weighings "
        "WHERE station = $1 ORDER BY id",
        {station});
    std::vector<Command> commands;
    commands.reserve(3 * rows.size() + 1);
    const std::string reason =
        std::string(RejectKindName(LedgerProblem::kForeignId)) + ": released as forged";
    for (const Row& row : rows) {
        WeighingRow weighing;
        weighing.id = row[0].value_or("");
        weighing.scale = std::stoi(row[1].value_or("0"));
        weighing.reading = row[2].value_or("");
        weighing.unit = row[3].value_or("");
        weighing.time = row[4];
        weighing.line = row[5].value_or("");
        commands.push_back({kCountRejected, {RejectKindName(LedgerProblem::kForeignId)}});
        commands.push_back({kRejected,
                            {protocol::TopicOf(protocol::RoomTopic(topic_prefix, station),
                                               protocol::TopicKind::kWeighing, weighing.scale),
                             WeighingMessage(weighing), reason, received,
                             RejectKindName(LedgerProblem::kForeignId), kRejectedKept}});
        commands.push_back({"DELETE FROM weighings WHERE id = $1", {weighing.id}});
    }
    commands.push_back(
        {"UPDATE stations SET client_id = NULL, newest_month = NULL, "
         "held_month = NULL, held_offset = NULL WHERE station = $1",
         {station}});
    database_.Transact(commands);
    return rows.size();
}

std::vector<LedgerTables::Station> LedgerTables::Stations() {
    std::vector<Station> stations;
    for (const Row& row : database_.Query("SELECT station, client_id, newest_month, held_month, "
                                          "held_offset, online, status_received FROM stations "
                                          "ORDER BY station",
                                          {})) {
        Station& station =
            stations.emplace_back(Station{row[0].value_or(""),
                                          row[1].value_or(""),
                                          row[2] ? std::stoi(*row[2]) : 0,
                                          {},
                                          row[5] ? std::optional(IsTrue(row[5])) : std::nullopt,
                                          row[6].value_or("")});
        if (const auto month = Month::OfYyyymm(row[3] ? std::stoll(*row[3]) : 0); month && row[4]) {
            station.held_through = protocol::LinePlace{*month, std::stoull(*row[4])};
        }
    }
    return stations;
}

std::vector<LedgerTables::Stored> LedgerTables::Write(const Batch& batch) {
    std::vector<Command> commands;
    commands.reserve(batch.Size() + batch.rejected.size() + 8);
    struct Newest {
        std::string client_id;
        int month = 0;
    };
    std::map<std::string, Newest> newest;
    // Rows go in the order of their keys: ledgers sharing the flow write the same weighings (a
    // replay answered to the group) and the same rooms' states, and in one order they wait for
    // each other rather than deadlock. Of a key's rows, the last heard still comes last.
    const auto in_order = [](const auto& rows, auto key) {
        std::vector<std::size_t> order(rows.size());
        std::iota(order.begin(), order.end(), std::size_t{0});
        std::stable_sort(order.begin(), order.end(),
                         [&](std::size_t a, std::size_t b) { return key(rows[a]) < key(rows[b]); });
        return order;
    };
    // Each weighing's insert and check, by its place in the batch.
    std::vector<std::pair<std::size_t, std::size_t>> judged(batch.weighings.size());
    for (const std::size_t i :
         in_order(batch.weighings, [](const WeighingRow& row) { return row.id; })) {
        const WeighingRow& row = batch.weighings[i];
        judged[i].first = commands.size();
        commands.push_back(
            {kInsertWeighing,
             {row.id, row.station, std::int64_t{row.scale}, row.reading,
              row.weight ? Value(*row.weight) : Value(), Optional(row.time), row.line, row.received,
              row.unit, row.next ? Value(static_cast<std::int64_t>(*row.next)) : Value(),
              row.after ? Value(row.after->Text()) : Value()}});
        if (row.next && row.after) {
            commands.push_back({kFillPlaces,
                                {static_cast<std::int64_t>(*row.next), row.after->Text(), row.id,
                                 row.line, row.reading, row.unit, Optional(row.time)},
                                true});
        }
        judged[i].second = commands.size();
        commands.push_back(
            {kDispute, {row.id, row.line, row.reading, row.unit, Optional(row.time)}, true});
        Newest& station = newest[row.station];
        station.client_id = row.client_id;
        station.month = std::max(station.month, row.month);
    }
    for (const auto& [station, latest] : newest) {
        commands.push_back(
            {kStationOfWeighings, {station, latest.client_id, std::int64_t{latest.month}}});
    }
    for (const auto& [station, place] : batch.held_through) {
        commands.push_back({kHeldThrough,
                            {std::int64_t{place.month.Yyyymm()},
                             static_cast<std::int64_t>(place.offset), station}});
    }
    for (const std::string& station : batch.forgotten) {  // before the rows heard since
        commands.push_back(
            {"DELETE FROM stations WHERE station = $1 AND client_id IS NULL", {station}});
        commands.push_back(
            {"DELETE FROM scale_states WHERE station = $1 AND NOT EXISTS "
             "(SELECT 1 FROM stations WHERE station = $1)",
             {station}});
    }
    for (const std::size_t i :
         in_order(batch.statuses, [](const StationStatusRow& row) { return row.station; })) {
        const StationStatusRow& row = batch.statuses[i];
        commands.push_back({kStationStatus, {row.station, Flag(row.online), row.received}});
    }
    for (const std::size_t i : in_order(batch.states, [](const ScaleStateRow& row) {
             return std::pair(row.station, row.scale);
         })) {
        const ScaleStateRow& row = batch.states[i];
        commands.push_back({kScaleState,
                            {row.station, std::int64_t{row.scale}, Flag(row.connected), row.reading,
                             row.motion ? Flag(*row.motion) : Value(), Optional(row.range),
                             row.time, row.received, row.unit}});
    }
    for (const RejectedRow& row : batch.rejected) {
        commands.push_back({kCountRejected, {row.kind}});
        commands.push_back(
            {kRejected,
             {row.topic, row.payload, row.reason, row.received, row.kind, kRejectedKept}});
    }
    const std::vector<std::uint64_t> changed = database_.Transact(commands);
    std::vector<Stored> stored;
    stored.reserve(judged.size());
    for (const auto& [insert, check] : judged) {
        stored.push_back(changed.at(insert) != 0  ? Stored::kNew
                         : changed.at(check) != 0 ? Stored::kConflict
                                                  : Stored::kHeldAlready);
    }
    return stored;
}

protocol::LinePlace LedgerTables::WalkHeldThrough(const std::string& client_id,
                                                  protocol::LinePlace from) {
    constexpr std::int64_t kStepsAQuery = 10000;  // what a query holds in memory
    for (std::size_t months = 0; months < kMostMonths; ++months) {
        for (;;) {
            std::string month_ids = protocol::WeighingId{client_id, from.month, 0}.Text();
            month_ids.pop_back();  // the offset's "0"
            const std::vector<Row> walked = database_.Query(
                kWalkMonth,
                {static_cast<std::int64_t>(from.offset), std::move(month_ids), kStepsAQuery});
            if (walked.empty() || !walked[0][0] || !walked[0][1]) {
                return from;
            }
            from.offset = std::stoull(*walked[0][0]);
            if (std::stoll(*walked[0][1]) < kStepsAQuery) {
                break;
            }
        }
        const Month next = from.month.Next();
        const std::vector<Row> first = database_.Query(
            kMonthsFirst, {protocol::WeighingId{client_id, next, 0}.Text(), from.Text()});
        if (first.empty() || !first[0][0]) {
            return from;
        }
        from = {next, std::stoull(*first[0][0])};
    }
    return from;
}

}  // namespace station::ledger
