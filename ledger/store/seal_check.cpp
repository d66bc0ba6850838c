#include "ledger/store/seal_check.h"

#include <algorithm>

#include "common/code_page.h"

namespace station::ledger {
namespace {

// The digits of `text`, up to `most` of them.
std::string Digits(std::string_view text, std::size_t most) {
    std::string digits;
    for (const char c : text) {
        if (c >= '0' && c <= '9' && digits.size() < most) {
            digits += c;
        }
    }
    return digits;
}

// The seal covers the line alone: what the row says besides must be the line's. The reading is
// the line's third field whole, after "wagaN" of its scale; the time, where the stamp could be
// read, the stamp's.
bool LineAgrees(const WeighingRow& row) {
    const std::string tail = "\twaga" + std::to_string(row.scale) + "\t" + row.reading;
    const std::size_t tab = row.line.find('\t');
    if (tab == std::string::npos || row.line.size() - tab != tail.size() ||
        !row.line.ends_with(tail)) {
        return false;
    }
    constexpr std::size_t kStampDigits = 14;  // yyyymmddhhnnss
    return !row.time || Digits(row.line.substr(0, tab), kStampDigits) ==
                            Digits(std::string_view(*row.time).substr(0, 19), kStampDigits);
}

// Why a weighing's seal fails on its own, before any signature; nothing when it holds so far.
std::optional<std::string> SealFault(const WeighingRow& row,
                                     const std::map<std::string, RoomKey>& keys) {
    const auto key = keys.find(row.station);
    if (!row.seal) {
        if (key != keys.end()) {
            return std::string("unsigned, from a room that signs");
        }
        return std::nullopt;
    }
    const LineSeal& seal = *row.seal;
    const std::optional<std::string> bytes = Utf8ToCp1250(row.line);
    if (!bytes || !row.place) {
        return std::string("a line no station saved");
    }
    if (NextLink(seal.previous, row.place->month, row.place->offset, *bytes) != seal.link) {
        return std::string("its link does not follow from its line");
    }
    if (!LineAgrees(row)) {
        return std::string("its scale, reading or time is not its line's");
    }
    return std::nullopt;
}

}  // namespace

SealJudgement JudgeSeals(const std::vector<WeighingRow>& rows,
                         std::map<std::string, RoomKey>& keys) {
    SealJudgement judged{std::vector(rows.size(), SealVerdict::kUnsigned),
                         std::vector<std::string>(rows.size()),
                         {}};
    const auto fail = [&](std::size_t i, std::string reason) {
        judged.verdicts[i] = SealVerdict::kFailed;
        judged.reasons[i] = std::move(reason);
    };
    // A run's signature vouches for all of it; where it fails, each is verified on its own.
    const auto close = [&](const std::vector<std::size_t>& run) {
        const LineSeal& last = *rows[run.back()].seal;
        const bool whole = LinkVerifies(last.key, last.link, last.signature);
        for (const std::size_t i : run) {
            const LineSeal& seal = *rows[i].seal;
            if (whole || LinkVerifies(seal.key, seal.link, seal.signature)) {
                judged.verdicts[i] = SealVerdict::kVerified;
            } else {
                fail(i, "its signature does not verify");
            }
        }
    };
    std::map<std::string, std::vector<std::size_t>> runs;  // by room, the one still open
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (std::optional<std::string> fault = SealFault(rows[i], keys)) {
            fail(i, std::move(*fault));
            continue;
        }
        if (!rows[i].seal) {
            continue;
        }
        std::vector<std::size_t>& run = runs[rows[i].station];
        if (!run.empty()) {
            const LineSeal& before = *rows[run.back()].seal;
            if (before.link != rows[i].seal->previous || before.key != rows[i].seal->key) {
                close(run);
                run.clear();
            }
        }
        run.push_back(i);
    }
    for (const auto& [room, run] : runs) {
        if (!run.empty()) {
            close(run);
        }
    }
    // A room without a key takes its first verified weighing's; a key it announced takes the
    // place of the one it had; any other key fails.
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (judged.verdicts[i] != SealVerdict::kVerified) {
            continue;
        }
        const LineSeal& seal = *rows[i].seal;
        const auto [known, first_use] = keys.try_emplace(rows[i].station, RoomKey{seal.key, false});
        RoomKey& room = known->second;
        bool taken = first_use;
        if (!first_use && room.key != seal.key &&
            std::find(room.earlier.begin(), room.earlier.end(), seal.key) != room.earlier.end()) {
            continue;  // a line the room signed before its key changed
        }
        if (!first_use && room.key != seal.key) {
            if (!seal.key_word || !NewKeyVerifies(room.key, seal.key, *seal.key_word)) {
                fail(i, "signed by key " + Fingerprint(seal.key) + ", not the room's " +
                            Fingerprint(room.key) + (room.pinned ? "" : " (taken on first use)"));
                continue;
            }
            room.earlier.insert(room.earlier.begin(), room.key);
            room.key = seal.key;
            room.pinned = false;
            taken = true;
        }
        if (taken) {
            std::vector<PublicKey>& now = judged.keys_taken[rows[i].station] = {room.key};
            now.insert(now.end(), room.earlier.begin(), room.earlier.end());
        }
    }
    return judged;
}

std::optional<RoomKey> RoomKeyOf(const std::optional<PublicKey>& pinned,
                                 const std::vector<PublicKey>& kept) {
    if (!kept.empty() && (!pinned || std::find(kept.begin(), kept.end(), *pinned) != kept.end())) {
        return RoomKey{kept.front(), pinned == kept.front(), {kept.begin() + 1, kept.end()}};
    }
    if (pinned) {
        return RoomKey{*pinned, true, {}};
    }
    return std::nullopt;
}

std::string KeysText(const std::vector<PublicKey>& keys) {
    std::string text;
    for (const PublicKey& key : keys) {
        text.append(text.empty() ? "" : " ").append(Hex(key));
    }
    return text;
}

std::vector<PublicKey> ReadKeysText(std::string_view text) {
    std::vector<PublicKey> keys;
    while (!text.empty()) {
        const auto key = FromHex<32>(text.substr(0, 64));
        if (!key || (text.size() > 64 && text[64] != ' ')) {
            return {};
        }
        keys.push_back(*key);
        text.remove_prefix(std::min(text.size(), std::size_t{65}));
    }
    return keys;
}

}  // namespace station::ledger
