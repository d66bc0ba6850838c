#include "ledger/store/seal_keeper.h"

#include <set>
#include <utility>

#include "ledger/store/seal_check.h"

namespace station::ledger {

SealKeeper::SealKeeper(const StoreSettings& settings, HealthBoard* health)
    : on_(settings.verify_seals), pinned_(settings.pinned_keys), health_(health) {
    health_->Update([this](LedgerHealth& board) { board.verifying_seals = on_; });
    Load({});
}

void SealKeeper::Load(const std::vector<LedgerTables::Station>& rows) {
    if (!on_) {
        return;
    }
    keys_.clear();
    for (const auto& [room, key] : pinned_) {
        keys_[room] = RoomKey{key, true};
    }
    for (const LedgerTables::Station& row : rows) {
        const auto pin = pinned_.find(row.name);
        if (const std::optional<RoomKey> key =
                RoomKeyOf(pin == pinned_.end() ? std::nullopt : std::optional(pin->second),
                          row.signing_keys)) {
            keys_[row.name] = *key;
        }
        if (!row.seal_break.empty()) {
            breaks_[row.name] = row.seal_break;
        }
    }
    health_->Update([&](LedgerHealth& board) {
        for (const LedgerTables::Station& row : rows) {
            Shown(board.stations[row.name], row.name);
        }
    });
}

void SealKeeper::Shown(LedgerHealth::Station& station, const std::string& room) const {
    if (const auto key = keys_.find(room); key != keys_.end()) {
        station.key = Fingerprint(key->second.key);
        station.key_pinned = key->second.pinned;
    }
    if (const auto first = breaks_.find(room); first != breaks_.end()) {
        station.seal_break = first->second;
    }
}

void SealKeeper::Judge(Batch& batch, RejectionLog& rejections, const std::string& stamp) {
    if (!on_) {
        for (WeighingRow& row : batch.weighings) {
            row.seal.reset();
        }
        return;
    }
    const SealJudgement judged = JudgeSeals(batch.weighings, keys_);
    std::set<std::string> rooms;  // whose key or break the board shows anew
    std::vector<WeighingRow> kept;
    kept.reserve(batch.weighings.size());
    std::map<SealVerdict, std::uint64_t> counts;
    for (std::size_t i = 0; i < batch.weighings.size(); ++i) {
        WeighingRow& row = batch.weighings[i];
        ++counts[judged.verdicts[i]];
        if (judged.verdicts[i] != SealVerdict::kUnsigned) {
            rooms.insert(row.station);
        }
        if (judged.verdicts[i] != SealVerdict::kFailed) {
            kept.push_back(std::move(row));
            continue;
        }
        if (breaks_.try_emplace(row.station, row.id + ": " + judged.reasons[i]).second) {
            batch.seal_breaks[row.station] = breaks_[row.station];
        }
        batch.rejected.push_back(rejections.Rejected({LedgerProblem::kSeal, judged.reasons[i]},
                                                     row.topic, WeighingMessage(row), stamp));
    }
    batch.weighings = std::move(kept);
    for (const auto& [room, keys] : judged.keys_taken) {
        batch.keys_taken[room] = keys;  // the room's keys as they are now
    }
    health_->Update([&](LedgerHealth& board) {
        board.seals_verified += counts[SealVerdict::kVerified];
        board.seals_unsigned += counts[SealVerdict::kUnsigned];
        board.seals_failed += counts[SealVerdict::kFailed];
        for (const std::string& room : rooms) {
            Shown(board.stations[room], room);
        }
    });
}

}  // namespace station::ledger
