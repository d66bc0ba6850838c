#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/month.h"
#include "common/weighing_chain.h"
#include "core/register/register_evidence.h"

namespace station {

// A month's register checked against its evidence (register_evidence.h): each line's entry, its
// link recomputed from the lines before it, the signatures, and the keys. The first line that
// does not hold is named with what became of it, as far as the two files tell:
enum class ChainBreakKind {
    kAltered,    // the line is not the line signed at its place
    kInserted,   // a line no entry signs, before a signed one
    kRemoved,    // a signed line that is gone (the register cut short too)
    kReordered,  // the line signed after it stands in its place, and it after that one
    kAdded,      // a line after the last signed one, that nothing signs
    kForged,     // the evidence itself is wrong: a link, a signature, a key, an unreadable entry
};

// "altered", "inserted", … as the auditor prints them.
const char* ChainBreakName(ChainBreakKind kind);

struct ChainBreak {
    ChainBreakKind kind = ChainBreakKind::kAltered;
    std::size_t line_number = 0;  // of the register's line, from 1; one past the last when gone
    std::string line;             // the register's line there, or the signed one that is gone
};

// A register line and where it starts.
struct PlacedLine {
    std::uint64_t offset = 0;
    std::string line;
};

struct ChainCheck {
    std::size_t verified = 0;         // lines from the first on, up to the first break
    std::size_t unsigned_before = 0;  // lines before the month's first entry (signing was off)
    std::size_t failed_saves = 0;     // entries whose lines never reached the register
    std::optional<ChainBreak> first_break;
    std::optional<PublicKey> key;  // the key in force at the end, once one is known
    ChainLink last_link{};         // of the last verified line; zeros before the first

    bool Whole() const { return !first_break && unsigned_before == 0; }
};

// Checks `month`'s lines (in order, with `register_end` the place after the last whole line)
// against `evidence`. The month's first key must be `trusted` unless that is nothing (the
// station's own check, taking the key the file names). With `every_signature`, each line's
// signature is verified; without, only the last verified line's (which covers every link before
// it), and every one only when that fails, to find the first.
ChainCheck CheckMonth(Month month, const std::vector<PlacedLine>& lines, std::uint64_t register_end,
                      const EvidenceRead& evidence, const std::optional<PublicKey>& trusted,
                      bool every_signature);

}  // namespace station
