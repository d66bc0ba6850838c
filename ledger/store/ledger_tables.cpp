#include "ledger/store/ledger_tables.h"

#include <algorithm>
#include <map>
#include <numeric>
#include <utility>

#include "ledger/store/ledger_message.h"
#include "ledger/store/seal_check.h"
#include "protocol/topics.h"
#include "protocol/weighing.h"
#include "protocol/weighing_id.h"

namespace station::ledger {
namespace {

constexpr const char* kInsertWeighing =
    "INSERT INTO weighings (id, station, scale, reading, weight, time, line, received, unit, "
    "next_offset, after_place, seal) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12) "
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
// The first weighing whose seal failed stays the room's.
constexpr const char* kSealBreak =
    "INSERT INTO stations (station, seal_break) VALUES ($1, $2) ON CONFLICT (station) "
    "DO UPDATE SET seal_break = COALESCE(stations.seal_break, excluded.seal_break)";
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

}  // namespace

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
    for (const Row& row :
         database_.Query("SELECT station, client_id, newest_month, held_month, held_offset, "
                         "online, status_received, signing_key, seal_break FROM stations "
                         "ORDER BY station",
                         {})) {
        Station& station =
            stations.emplace_back(Station{row[0].value_or(""),
                                          row[1].value_or(""),
                                          row[2] ? std::stoi(*row[2]) : 0,
                                          {},
                                          row[5] ? std::optional(IsTrue(row[5])) : std::nullopt,
                                          row[6].value_or(""),
                                          ReadKeysText(row[7].value_or("")),
                                          row[8].value_or("")});
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
              row.after ? Value(row.after->Text()) : Value(),
              row.seal ? Value(SealText(*row.seal)) : Value()}});
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
    for (const auto& [station, keys] : batch.keys_taken) {
        commands.push_back(
            {"UPDATE stations SET signing_key = $1 WHERE station = $2", {KeysText(keys), station}});
    }
    for (const auto& [station, first] : batch.seal_breaks) {
        commands.push_back({kSealBreak, {station, first}});
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
