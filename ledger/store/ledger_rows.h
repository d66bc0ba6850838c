#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "protocol/weighing.h"
#include "protocol/weighing_id.h"

namespace station::ledger {

// What the ledger keeps of one message, as the tables hold it. Times are ISO 8601 texts:
// `time` as the station sent it, `received` the ledger's.
struct WeighingRow {
    std::string id;
    std::string station;
    std::string client_id;  // the id's first part: the station's client id
    int month = 0;          // the id's register month, yyyymm
    int scale = 0;
    std::string reading;
    std::optional<double> weight;  // where the reading is a number
    std::optional<std::string> time;
    std::string line;
    std::string received;
    std::string topic;        // it came on, for the rejected row of a conflict
    std::string unit = "kg";  // the weight's
    // Where its line lies in the station's register, and what the message says of the lines
    // around it (protocol::Weighing): read for what the ledger holds, not stored.
    std::optional<protocol::LinePlace> place = std::nullopt;
    std::optional<protocol::LinePlace> after = std::nullopt;
    std::optional<std::uint64_t> next = std::nullopt;
    bool untrusted_places = false;  // it said places that cannot be, which it is kept without
    // A signing station's seal, stored once verified (seal_check.h); nothing when it has none or
    // seals are not verified.
    std::optional<LineSeal> seal = std::nullopt;
};

// A room's signing key and whence the ledger has it: the settings, or the room's first weighing
// verified (taken on first use); and the keys it had before, each of which announced the next.
struct RoomKey {
    PublicKey key{};
    bool pinned = false;
    std::vector<PublicKey> earlier = {};  // newest first
};

struct ScaleStateRow {
    std::string station;
    int scale = 0;
    bool connected = false;
    std::string reading;
    std::string unit = "kg";  // the reading's
    std::optional<bool> motion;
    std::optional<std::string> range;
    std::string time;
    std::string received;
};

struct StationStatusRow {
    std::string station;
    bool online = false;
    std::string received;
};

struct RejectedRow {
    std::string topic;
    std::string payload;  // as far as it can be shown: see ShownBytes
    std::string reason;
    std::string received;
    std::string kind;  // RejectKindName's: the rows kept are counted and bounded per kind
};

// What one transaction writes.
struct Batch {
    std::vector<WeighingRow> weighings;
    std::vector<ScaleStateRow> states;
    std::vector<StationStatusRow> statuses;
    std::vector<RejectedRow> rejected;
    // Per station, the place before which every line of its register is now held.
    std::map<std::string, protocol::LinePlace> held_through;
    // Rooms heard only by status or state that the ledger no longer keeps, with their rows.
    std::vector<std::string> forgotten;
    // Rooms' keys taken on first use or announced by the one before, newest first; per room the
    // first weighing whose seal failed ("ID: reason").
    std::map<std::string, std::vector<PublicKey>> keys_taken;
    std::map<std::string, std::string> seal_breaks;

    std::size_t Size() const {
        return weighings.size() + states.size() + statuses.size() + rejected.size();
    }
    bool Empty() const {
        return Size() == 0 && held_through.empty() && forgotten.empty() && keys_taken.empty() &&
               seal_breaks.empty();
    }
};

}  // namespace station::ledger
