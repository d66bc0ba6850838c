#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "ledger/store/ledger_rows.h"
#include "protocol/message_problem.h"

namespace station::ledger {

// The ledger's own reasons to reject a message, besides the protocol's.
enum class LedgerProblem {
    kTooLarge,
    kForeignId,          // a weighing's id that belongs to another station
    kRefusedByDatabase,  // a row the database refused on its own; the rest of its batch is kept
    // a weighing's id held already with another line, reading, unit or time; the first is kept
    // (its name, a key of the health board, says "line" as it always has)
    kConflict,
    kRoomRefused,  // a room not in the settings' list, or one past the most kept
    kSeal,         // a signing room's weighing whose seal does not verify, or that has none
};

// Why a message is no row of the ledger's: what the protocol's reader said, or the ledger's own.
using RejectKind = std::variant<protocol::ProblemKind, LedgerProblem>;

inline constexpr RejectKind kRejectKinds[] = {LedgerProblem::kTooLarge,
                                              protocol::ProblemKind::kTopic,
                                              protocol::ProblemKind::kNotJson,
                                              protocol::ProblemKind::kMissingField,
                                              protocol::ProblemKind::kWrongType,
                                              protocol::ProblemKind::kBadValue,
                                              LedgerProblem::kForeignId,
                                              LedgerProblem::kRefusedByDatabase,
                                              LedgerProblem::kConflict,
                                              LedgerProblem::kRoomRefused,
                                              LedgerProblem::kSeal};

// A short English name of the kind, for the rejected table and the log.
const char* RejectKindName(RejectKind kind);

struct Rejection {
    RejectKind kind;
    std::string detail;
};

// A message on a room's replay topic: the ledger's own requests come back and other ledgers' go
// by; an empty one erases the request the broker retains.
struct ReplayTopicHeard {
    std::string station;
    bool erased = false;
};

using LedgerMessage =
    std::variant<WeighingRow, ScaleStateRow, StationStatusRow, ReplayTopicHeard, Rejection>;

// The largest message read; a station's weighing is a fraction of it.
inline constexpr std::size_t kLargestMessage = 16384;
// The largest packet the broker may send the ledger: the largest message and one more byte,
// so that it is refused with the reason, under a topic of a few thousand bytes. The broker
// drops a larger one, which the ledger never reads.
inline constexpr std::uint32_t kLargestPacket = kLargestMessage + 8192;

// Reads a message from under `prefix` (the topics and messages are protocol/'s) into the row
// it makes: a station's status ("online" or "offline"), a weighing, a scale's state; or a replay
// request heard.
// `received` is the ledger's time of it. Whether a weighing's id belongs to its station is the
// caller's to judge, by the id's client id. Never throws on any payload.
LedgerMessage ReadLedgerMessage(std::string_view prefix, std::string_view topic,
                                std::string_view payload, const std::string& received);

// The weight of a reading that is a plain decimal number: blanks, a sign, digits with one
// point or comma.
std::optional<double> WeightOf(std::string_view reading);

// A weighing's message as far as its row holds it, for what `rejected` keeps of it; a row whose
// id does not read gives its line alone.
std::string WeighingMessage(const WeighingRow& row);

}  // namespace station::ledger
