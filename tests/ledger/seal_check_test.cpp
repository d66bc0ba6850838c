#include "ledger/store/seal_check.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace station::ledger {
namespace {

const Month kMonth = *Month::Of(2026, 12);

// A room's month of five signed weighings, each line 23 bytes and its CR LF.
std::vector<WeighingRow> SignedMonth(const std::string& room, const KeyPair& key) {
    std::vector<WeighingRow> rows;
    ChainLink link{};
    for (int i = 0; i < 5; ++i) {
        WeighingRow& row = rows.emplace_back();
        row.station = room;
        row.id = "c-" + room + "/202612/" + std::to_string(25 * i);
        row.place = protocol::LinePlace{kMonth, static_cast<std::uint64_t>(i) * 25};
        row.scale = 1;
        row.reading = std::to_string(10 + i);
        row.line = "2026-12-03, 10:00:0" + std::to_string(i) + "\twaga1\t" + row.reading;
        row.time = "2026-12-03T10:00:0" + std::to_string(i) + "+01:00";
        LineSeal seal{.previous = link};
        seal.link = link = NextLink(link, kMonth, row.place->offset, row.line);
        seal.signature = SignLink(key.secret_key, link);
        seal.key = key.public_key;
        row.seal = seal;
    }
    return rows;
}

// What a stranger or a broken store can make of a room's weighings, and the verdict on each.
TEST(SealCheck, OnlyTheRoomsOwnUnchangedLinesVerify) {
    const KeyPair room_key = NewKeyPair();
    const KeyPair stranger = NewKeyPair();
    constexpr auto kOk = SealVerdict::kVerified;
    constexpr auto kFail = SealVerdict::kFailed;
    const struct {
        const char* what;
        bool pinned;  // the room's key in the settings; else taken on first use
        std::function<void(std::vector<WeighingRow>&)> change;
        std::vector<SealVerdict> verdicts;
        std::string reason;  // of the first failed
    } cases[] = {
        {"untouched, first use", false, [](auto&) {}, {kOk, kOk, kOk, kOk, kOk}, ""},
        {"untouched, pinned", true, [](auto&) {}, {kOk, kOk, kOk, kOk, kOk}, ""},
        {"a digit of a line changed",
         true,
         [](auto& rows) { rows[2].line.back() = '9'; },
         {kOk, kOk, kFail, kOk, kOk},
         "its link does not follow from its line"},
        {"the reading changed beside its line",
         true,
         [](auto& rows) { rows[1].reading = "99"; },
         {kOk, kFail, kOk, kOk, kOk},
         "its scale, reading or time is not its line's"},
        {"the time changed beside its line",
         true,
         [](auto& rows) { rows[1].time = "2026-12-04T10:00:01+01:00"; },
         {kOk, kFail, kOk, kOk, kOk},
         "its scale, reading or time is not its line's"},
        {"the last signature spoilt",
         true,
         [](auto& rows) { rows[4].seal->signature[0] ^= 1; },
         {kOk, kOk, kOk, kOk, kFail},
         "its signature does not verify"},
        {"a line of its own, signed by a stranger's key",
         true,
         [&](auto& rows) {
             rows[4].seal->key = stranger.public_key;
             rows[4].seal->signature = SignLink(stranger.secret_key, rows[4].seal->link);
         },
         {kOk, kOk, kOk, kOk, kFail},
         "signed by key " + Fingerprint(stranger.public_key)},
        {"a stranger's key first: the room's is not yet known",
         false,
         [&](auto& rows) {
             for (auto& row : rows) {
                 row.seal->key = stranger.public_key;
                 row.seal->signature = SignLink(stranger.secret_key, row.seal->link);
             }
             rows[4].seal->key = room_key.public_key;
             rows[4].seal->signature = SignLink(room_key.secret_key, rows[4].seal->link);
         },
         {kOk, kOk, kOk, kOk, kFail},
         "signed by key " + Fingerprint(room_key.public_key)},
        {"unsigned from a room that signs",
         true,
         [](auto& rows) { rows[3].seal.reset(); },
         {kOk, kOk, kOk, kFail, kOk},
         "unsigned, from a room that signs"},
        {"a line that is no code page's",
         true,
         [](auto& rows) { rows[0].line += "\xd0\xb6"; },
         {kFail, kOk, kOk, kOk, kOk},
         "a line no station saved"},
    };
    for (const auto& test : cases) {
        std::vector<WeighingRow> rows = SignedMonth("a", room_key);
        test.change(rows);
        std::map<std::string, RoomKey> keys;
        if (test.pinned) {
            keys["a"] = {room_key.public_key, true};
        }
        const SealJudgement judged = JudgeSeals(rows, keys);
        EXPECT_EQ(judged.verdicts, test.verdicts) << test.what;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (judged.verdicts[i] == kFail) {
                EXPECT_TRUE(judged.reasons[i].starts_with(test.reason))
                    << test.what << ": " << judged.reasons[i];
                break;
            }
        }
        EXPECT_EQ(judged.keys_taken.size(), test.pinned ? 0U : 1U) << test.what;
        EXPECT_TRUE(keys.contains("a")) << test.what;
    }
    // A room that has never signed stays unsigned; its seals text reads back.
    std::vector<WeighingRow> plain = SignedMonth("b", room_key);
    plain[0].seal.reset();
    std::map<std::string, RoomKey> none;
    EXPECT_EQ(JudgeSeals({plain[0]}, none).verdicts, std::vector{SealVerdict::kUnsigned});
    EXPECT_EQ(ReadSealText(SealText(*plain[1].seal))->signature, plain[1].seal->signature);
    EXPECT_FALSE(ReadSealText(SealText(*plain[1].seal) + " "));
}

// A station's new key, announced by its old one, takes the room over; the lines the old key
// signed stay the room's; a new key nothing announced does not; and the database's keys read back
// under the settings' pin.
TEST(SealCheck, ARoomsKeyGivesWayOnlyToOneItAnnounced) {
    const KeyPair old_key = NewKeyPair();
    const KeyPair new_key = NewKeyPair();
    for (const bool announced : {true, false}) {
        std::vector<WeighingRow> rows = SignedMonth("a", old_key);
        for (std::size_t i = 3; i < rows.size(); ++i) {
            rows[i].seal->key = new_key.public_key;
            rows[i].seal->signature = SignLink(new_key.secret_key, rows[i].seal->link);
            if (announced) {
                rows[i].seal->key_word = SignNewKey(old_key.secret_key, new_key.public_key);
            }
        }
        std::map<std::string, RoomKey> keys{{"a", {old_key.public_key, true}}};
        const auto ok = SealVerdict::kVerified;
        const auto failed = SealVerdict::kFailed;
        const std::vector<SealVerdict> verdicts =
            announced ? std::vector{ok, ok, ok, ok, ok} : std::vector{ok, ok, ok, failed, failed};
        EXPECT_EQ(JudgeSeals(rows, keys).verdicts, verdicts);
        EXPECT_EQ(keys["a"].key, announced ? new_key.public_key : old_key.public_key);
        // A line of the old key's, sent again later: still the room's.
        EXPECT_EQ(JudgeSeals({rows[0]}, keys).verdicts, std::vector{ok});
    }
    const std::vector<PublicKey> kept{new_key.public_key, old_key.public_key};
    EXPECT_EQ(ReadKeysText(KeysText(kept)), kept);
    EXPECT_EQ(RoomKeyOf(old_key.public_key, kept)->key, new_key.public_key);
    EXPECT_EQ(RoomKeyOf(old_key.public_key, kept)->earlier, std::vector{old_key.public_key});
    EXPECT_TRUE(RoomKeyOf(NewKeyPair().public_key, kept)->pinned);
    EXPECT_FALSE(RoomKeyOf(std::nullopt, {}));
}

}  // namespace
}  // namespace station::ledger
