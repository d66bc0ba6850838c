#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "core/register/register_evidence.h"
#include "core/register/register_reader.h"

namespace station {

// A line's entry with what else its message carries: the link before it in the month's chain,
// the key that signed it, and the previous key's word for that key where the month changed keys.
struct LineEvidence {
    ChainLink previous{};
    LineEntry entry;
    PublicKey key{};
    std::optional<Signature> key_word = std::nullopt;
};

// The evidence of a register's lines (register_evidence.h), looked up for their messages. A
// month's side file is read on from where it was last read when it grew, and again whole when it
// shrank; like RegisterUnits, it is looked at again at the first lookup after each read of the
// register (a line's entry is written before the line). The last kMonthsKept months looked up are
// kept: a replay and the new saves may go out from different months, line by line in turn.
class EvidenceLookup {
public:
    static constexpr std::size_t kMonthsKept = 3;

    explicit EvidenceLookup(std::string directory) : directory_(std::move(directory)) {}

    // The evidence that signs `entry`'s line at its place; nothing when none does.
    std::optional<LineEvidence> EvidenceOf(const RegisterEntry& entry);
    void LookAgain();

private:
    struct MonthEvidence {
        off_t read = 0;       // bytes of its side file taken, up to the last whole entry
        bool looked = false;  // at the side file since the register was last read
        KeyEntry key{};       // the key named last in what was read
        // By offset, with the key entry before it; a later entry for a place wins, as the chain
        // goes on from a line only once it is in the register: a line's previous link is the one
        // of the entry before it.
        std::map<std::uint64_t, std::pair<LineEntry, KeyEntry>> entries;
        std::uint64_t used = 0;  // when last looked up, in lookups
    };

    // The month file's evidence, kept or read anew (the one looked up longest ago making way).
    MonthEvidence& MonthOf(const std::string& month_file);
    void Look(const std::string& month_file, MonthEvidence& month) const;

    std::string directory_;
    std::map<std::string, MonthEvidence> months_;  // by month file
    std::uint64_t lookups_ = 0;
};

}  // namespace station
