#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "common/weighing_chain.h"

namespace station {

// The evidence of a month's register, with signing on: the side file "yyyymm.podpisy" beside
// "yyyymm.txt", one entry per line, CR LF, fields split by TAB:
//   klucz  PUBLIC-KEY  SIGNATURE     the key that signs what follows; the month's first entry,
//                                    with "-" for a signature, or a new key the old one signed
//   wpis   OFFSET  LINK  SIGNATURE  LINE
//                                    a line about to go in at byte OFFSET, its link in the
//                                    month's chain (common/weighing_chain.h) and its signature;
//                                    written and on disk before the line itself
//   zapisano  OFFSET                 the line at OFFSET is on disk
// Keys, links and signatures are lower-case hex. A "wpis" without its "zapisano" is a save that
// may have failed: its line is the register's if there, and vouches for nothing if not. A line
// with "zapisano" that is gone was removed.

// "yyyymm.podpisy" for the month file "yyyymm.txt".
std::string EvidenceFileName(std::string_view month_file_name);

struct KeyEntry {
    PublicKey key{};
    std::optional<Signature> signature;  // by the key before it; nothing for the month's first
};
struct LineEntry {
    std::uint64_t offset = 0;
    ChainLink link{};
    Signature signature{};
    std::string line;
};
struct SavedEntry {
    std::uint64_t offset = 0;
};
using EvidenceEntry = std::variant<KeyEntry, LineEntry, SavedEntry>;

// An entry's text, without CR LF.
std::string EvidenceText(const EvidenceEntry& entry);

// The entries of a side file's bytes, in order. A line that is not an entry is a `bad_line`
// (counted from 1), where the reading stops: nothing after it is taken on trust. Bytes after the
// last CR LF are an entry a failed save cut short (`cut_short`).
struct EvidenceRead {
    std::vector<EvidenceEntry> entries;
    std::size_t bad_line = 0;
    bool cut_short = false;
};
EvidenceRead ReadEvidence(std::string_view bytes);

}  // namespace station
