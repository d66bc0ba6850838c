#include "ledger/store/ledger_schema.h"

#include <iterator>
#include <string>
#include <vector>

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

// A signing room's weighings keep their seals (seal_check.h); its row, the key taken from its
// first weighing verified and the first weighing whose seal failed.
constexpr const char* kVersion9[] = {
    "ALTER TABLE weighings ADD COLUMN seal TEXT",
    "ALTER TABLE stations ADD COLUMN signing_key TEXT",
    "ALTER TABLE stations ADD COLUMN seal_break TEXT",
};

struct Step {
    const char* const* begin;
    const char* const* end;
};
constexpr Step kSteps[] = {
    {std::begin(kVersion1), std::end(kVersion1)}, {std::begin(kVersion2), std::end(kVersion2)},
    {std::begin(kVersion3), std::end(kVersion3)}, {std::begin(kVersion4), std::end(kVersion4)},
    {std::begin(kVersion5), std::end(kVersion5)}, {std::begin(kVersion6), std::end(kVersion6)},
    {std::begin(kVersion7), std::end(kVersion7)}, {std::begin(kVersion8), std::end(kVersion8)},
    {std::begin(kVersion9), std::end(kVersion9)}};
static_assert(std::size(kSteps) == kSchemaVersion);

constexpr const char* kSetVersion = "UPDATE ledger_schema SET version = $1 WHERE one = 1";

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

}  // namespace station::ledger
