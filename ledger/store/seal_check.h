#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ledger/store/ledger_rows.h"

namespace station::ledger {

// How the ledger judges signing rooms' weighings (LineSeal, common/weighing_chain.h). Each weighing's link is
// recomputed from the link before it and the bytes its station saved, and its key must be its
// room's. A signature is verified once per run: weighings of a room whose links follow on from
// each other are vouched for by the signature of the last, which covers every link before it; a
// run whose last signature fails has each of its own verified. So a backlog or a replay costs a
// signature per batch, not per weighing.
enum class SealVerdict { kVerified, kUnsigned, kFailed };

struct SealJudgement {
    std::vector<SealVerdict> verdicts;  // by the rows' order
    std::vector<std::string> reasons;   // for each failed one
    std::map<std::string, PublicKey> keys_taken;
};

// `keys` holds the rooms' keys; a room without one takes the key of its first weighing verified.
// A weighing without a seal from a room with a key fails; from one without, it is unsigned.
SealJudgement JudgeSeals(const std::vector<WeighingRow>& rows, std::map<std::string, RoomKey>& keys);

}  // namespace station::ledger
