#include "core/register/chain_check.h"

#include <variant>

namespace station {
namespace {

// Whether the line entry at `index` has its "zapisano" before the next line entry.
bool SavedFollows(const std::vector<EvidenceEntry>& entries, std::size_t index,
                  std::uint64_t offset) {
    for (std::size_t k = index + 1; k < entries.size(); ++k) {
        if (std::holds_alternative<LineEntry>(entries[k])) {
            return false;
        }
        if (const auto* saved = std::get_if<SavedEntry>(&entries[k]);
            saved != nullptr && saved->offset == offset) {
            return true;
        }
    }
    return false;
}

const LineEntry* NextLineEntry(const std::vector<EvidenceEntry>& entries, std::size_t index) {
    for (std::size_t k = index + 1; k < entries.size(); ++k) {
        if (const auto* entry = std::get_if<LineEntry>(&entries[k])) {
            return entry;
        }
    }
    return nullptr;
}

// What became of the signed line `entry` that is not at register line `i`, judged by the lines
// around it.
ChainBreakKind Classify(const std::vector<PlacedLine>& lines, std::size_t i, const LineEntry& entry,
                        const LineEntry* next) {
    if (i >= lines.size()) {
        return ChainBreakKind::kRemoved;
    }
    const bool signed_one_follows = i + 1 < lines.size() && lines[i + 1].line == entry.line;
    const bool next_one_here = next != nullptr && next->line == lines[i].line;
    if (next_one_here && signed_one_follows) {
        return ChainBreakKind::kReordered;
    }
    if (signed_one_follows) {
        return ChainBreakKind::kInserted;
    }
    if (next_one_here) {
        return ChainBreakKind::kRemoved;
    }
    return ChainBreakKind::kAltered;
}

struct LastSigned {
    ChainLink link;
    Signature signature;
    PublicKey key;
};

}  // namespace

const char* ChainBreakName(ChainBreakKind kind) {
    switch (kind) {
        case ChainBreakKind::kAltered:
            return "altered";
        case ChainBreakKind::kInserted:
            return "inserted";
        case ChainBreakKind::kRemoved:
            return "removed";
        case ChainBreakKind::kReordered:
            return "reordered";
        case ChainBreakKind::kAdded:
            return "added";
        case ChainBreakKind::kForged:
            return "forged evidence";
    }
    return "?";
}

ChainCheck CheckMonth(Month month, const std::vector<PlacedLine>& lines, std::uint64_t register_end,
                      const EvidenceRead& evidence, const std::optional<PublicKey>& trusted,
                      bool every_signature) {
    ChainCheck check;
    const std::vector<EvidenceEntry>& entries = evidence.entries;
    std::size_t i = 0;  // the next register line
    bool started = false;
    std::optional<LastSigned> last_signed;
    const auto stop = [&](ChainBreakKind kind, std::string line) {
        check.first_break = ChainBreak{kind, i + 1, std::move(line)};
    };
    const auto here = [&] { return i < lines.size() ? lines[i].line : std::string(); };
    for (std::size_t index = 0; index < entries.size() && !check.first_break; ++index) {
        if (const auto* key = std::get_if<KeyEntry>(&entries[index])) {
            const bool good =
                check.key ? key->signature && NewKeyVerifies(*check.key, key->key, *key->signature)
                          : !key->signature && (!trusted || key->key == *trusted);
            if (!good) {
                stop(ChainBreakKind::kForged, here());
            }
            check.key = key->key;
            continue;
        }
        const auto* entry = std::get_if<LineEntry>(&entries[index]);
        if (entry == nullptr) {
            continue;  // a "zapisano", looked up from its line's entry
        }
        if (!check.key) {
            stop(ChainBreakKind::kForged, here());
            break;
        }
        if (!started) {
            started = true;
            for (; i < lines.size() && lines[i].offset < entry->offset; ++i) {
                ++check.unsigned_before;
            }
        }
        if (i < lines.size() && lines[i].offset == entry->offset && lines[i].line == entry->line) {
            const ChainLink link = NextLink(check.last_link, month, entry->offset, entry->line);
            if (link != entry->link ||
                (every_signature && !LinkVerifies(*check.key, link, entry->signature))) {
                stop(ChainBreakKind::kForged, here());
                break;
            }
            check.last_link = link;
            last_signed = LastSigned{link, entry->signature, *check.key};
            ++check.verified;
            ++i;
            continue;
        }
        const std::uint64_t place = i < lines.size() ? lines[i].offset : register_end;
        const LineEntry* next = NextLineEntry(entries, index);
        if (!SavedFollows(entries, index, entry->offset) && entry->offset == place &&
            (next == nullptr || next->offset == entry->offset)) {
            ++check.failed_saves;
            continue;
        }
        const ChainBreakKind kind = Classify(lines, i, *entry, next);
        stop(kind, kind == ChainBreakKind::kRemoved ? entry->line : here());
    }
    if (!check.first_break) {
        if (evidence.bad_line != 0) {
            stop(ChainBreakKind::kForged, here());
        } else if (i < lines.size() && started) {
            stop(ChainBreakKind::kAdded, here());
        } else if (!started) {
            check.unsigned_before = lines.size();
        }
    }
    if (!every_signature && last_signed &&
        !LinkVerifies(last_signed->key, last_signed->link, last_signed->signature)) {
        return CheckMonth(month, lines, register_end, evidence, trusted, true);
    }
    return check;
}

}  // namespace station
