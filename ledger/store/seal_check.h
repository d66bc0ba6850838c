#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ledger/store/ledger_rows.h"

namespace station::ledger {

// How the ledger judges signing rooms' weighings (LineSeal, common/weighing_chain.h). Each
// weighing's link is recomputed from the link before it and the bytes its station saved, and its
// key must be its room's. A signature is verified once per run: weighings of a room whose links
// follow on from each other are vouched for by the signature of the last, which covers every link
// before it; a run whose last signature fails has each of its own verified. So a backlog or a
// replay costs a signature per batch, not per weighing.
enum class SealVerdict { kVerified, kUnsigned, kFailed };

struct SealJudgement {
    std::vector<SealVerdict> verdicts;                         // by the rows' order
    std::vector<std::string> reasons;                          // for each failed one
    std::map<std::string, std::vector<PublicKey>> keys_taken;  // each room's keys now, newest first
};

// `keys` holds the rooms' keys; a room without one takes the key of its first weighing verified,
// and a room's key gives way to one it announced (the seal's key word). A weighing signed by a key
// the room had before is its own. A weighing without a seal from a room with a key fails; from one
// without, it is unsigned.
SealJudgement JudgeSeals(const std::vector<WeighingRow>& rows,
                         std::map<std::string, RoomKey>& keys);

// A room's key from the settings' pin and the keys the database keeps (newest first): the pin,
// unless the keys kept hold it and those it announced since. Nothing when there is neither.
std::optional<RoomKey> RoomKeyOf(const std::optional<PublicKey>& pinned,
                                 const std::vector<PublicKey>& kept);
// The keys as the database keeps them: hex, newest first, split by blanks; and back (nothing of
// a text that does not read whole).
std::string KeysText(const std::vector<PublicKey>& keys);
std::vector<PublicKey> ReadKeysText(std::string_view text);

}  // namespace station::ledger
