#include "ledger/store/seal_audit.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "ledger/store/ledger_message.h"
#include "ledger/store/seal_check.h"

namespace station::ledger {
namespace {

// As a database gives a number back: SQLite writes 15 significant digits.
bool SameWeight(std::optional<double> stored, std::optional<double> read) {
    if (!stored || !read) {
        return stored.has_value() == read.has_value();
    }
    return std::abs(*stored - *read) <= 1e-12 * std::max(1.0, std::abs(*read));
}

}  // namespace

SealAudit AuditSeals(Database& database, const std::map<std::string, PublicKey>& pinned) {
    SealAudit audit;
    std::map<std::string, std::vector<PublicKey>> kept;
    std::set<std::string> rooms;
    for (const Row& row : database.Query(
             "SELECT DISTINCT station FROM weighings WHERE seal IS NOT NULL ORDER BY station",
             {})) {
        rooms.insert(row[0].value_or(""));
    }
    for (const Row& row : database.Query(
             "SELECT station, signing_key FROM stations WHERE signing_key IS NOT NULL", {})) {
        kept[row[0].value_or("")] = ReadKeysText(row[1].value_or(""));
    }
    for (const std::string& room : rooms) {
        std::vector<WeighingRow> rows;
        for (const Row& row :
             database.Query("SELECT id, scale, reading, weight, time, line, seal FROM weighings "
                            "WHERE station = $1 AND seal IS NOT NULL",
                            {room})) {
            WeighingRow& weighing = rows.emplace_back();
            weighing.station = room;
            weighing.id = row[0].value_or("");
            if (const auto id = protocol::WeighingId::Read(weighing.id)) {
                weighing.place = id->Place();
            }
            weighing.scale = std::stoi(row[1].value_or("0"));
            weighing.reading = row[2].value_or("");
            weighing.weight = row[3] ? std::optional(std::stod(*row[3])) : std::nullopt;
            weighing.time = row[4];
            weighing.line = row[5].value_or("");
            weighing.seal = ReadSealText(row[6].value_or(""));
        }
        // In the register's order: a run of lines is vouched for by its last signature.
        std::stable_sort(rows.begin(), rows.end(), [](const WeighingRow& a, const WeighingRow& b) {
            return a.place < b.place;
        });
        std::map<std::string, RoomKey> room_key;
        const auto pin = pinned.find(room);
        if (const std::optional<RoomKey> key = RoomKeyOf(
                pin == pinned.end() ? std::nullopt : std::optional(pin->second), kept[room])) {
            room_key[room] = *key;
        }
        const SealJudgement judged = JudgeSeals(rows, room_key);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            std::string reason = judged.reasons[i];
            if (judged.verdicts[i] == SealVerdict::kUnsigned) {
                reason = "a seal that cannot be read";  // only sealed rows are read
            } else if (judged.verdicts[i] == SealVerdict::kVerified &&
                       !SameWeight(rows[i].weight, WeightOf(rows[i].reading))) {
                reason = "its weight is not its reading's";
            }
            if (reason.empty()) {
                ++audit.verified;
            } else {
                audit.failures.push_back(room);
                audit.failures.back().append(": ").append(rows[i].id).append(": ").append(reason);
            }
        }
    }
    return audit;
}

}  // namespace station::ledger
