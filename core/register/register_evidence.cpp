#include "core/register/register_evidence.h"

#include <algorithm>
#include <type_traits>

namespace station {
namespace {

constexpr std::string_view kKey = "klucz";
constexpr std::string_view kLine = "wpis";
constexpr std::string_view kSaved = "zapisano";
constexpr std::string_view kNoSignature = "-";

// The fields of `text` split by TAB; the last of `count` takes the rest (a line's TABs).
std::vector<std::string_view> Fields(std::string_view text, std::size_t count) {
    std::vector<std::string_view> fields;
    while (fields.size() + 1 < count) {
        const std::size_t tab = text.find('\t');
        if (tab == std::string_view::npos) {
            break;
        }
        fields.push_back(text.substr(0, tab));
        text.remove_prefix(tab + 1);
    }
    fields.push_back(text);
    return fields;
}

std::optional<std::uint64_t> Offset(std::string_view text) {
    // Digits only, no leading zero: one text per offset.
    if (text.empty() || text.size() > 19 || (text.size() > 1 && text[0] == '0') ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const char c : text) {
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

std::optional<EvidenceEntry> ReadEntry(std::string_view text) {
    const std::string_view kind = text.substr(0, text.find('\t'));
    if (kind == kKey) {
        const auto fields = Fields(text, 3);
        const auto key = fields.size() == 3 ? FromHex<32>(fields[1]) : std::nullopt;
        if (!key) {
            return std::nullopt;
        }
        if (fields[2] == kNoSignature) {
            return KeyEntry{*key, std::nullopt};
        }
        const auto signature = FromHex<64>(fields[2]);
        return signature ? std::optional<EvidenceEntry>(KeyEntry{*key, *signature}) : std::nullopt;
    }
    if (kind == kLine) {
        const auto fields = Fields(text, 5);
        if (fields.size() != 5) {
            return std::nullopt;
        }
        const auto offset = Offset(fields[1]);
        const auto link = FromHex<32>(fields[2]);
        const auto signature = FromHex<64>(fields[3]);
        if (!offset || !link || !signature) {
            return std::nullopt;
        }
        return LineEntry{*offset, *link, *signature, std::string(fields[4])};
    }
    if (kind == kSaved) {
        const auto fields = Fields(text, 2);
        const auto offset = fields.size() == 2 ? Offset(fields[1]) : std::nullopt;
        return offset ? std::optional<EvidenceEntry>(SavedEntry{*offset}) : std::nullopt;
    }
    return std::nullopt;
}

}  // namespace

std::string EvidenceFileName(std::string_view month_file_name) {
    return std::string(month_file_name.substr(0, month_file_name.find('.'))) + ".podpisy";
}

std::string EvidenceText(const EvidenceEntry& entry) {
    return std::visit(
        [](const auto& e) -> std::string {
            using E = std::decay_t<decltype(e)>;
            if constexpr (std::is_same_v<E, KeyEntry>) {
                return std::string(kKey) + "\t" + Hex(e.key) + "\t" +
                       (e.signature ? Hex(*e.signature) : std::string(kNoSignature));
            } else if constexpr (std::is_same_v<E, LineEntry>) {
                return std::string(kLine) + "\t" + std::to_string(e.offset) + "\t" + Hex(e.link) +
                       "\t" + Hex(e.signature) + "\t" + e.line;
            } else {
                return std::string(kSaved) + "\t" + std::to_string(e.offset);
            }
        },
        entry);
}

EvidenceRead ReadEvidence(std::string_view bytes) {
    EvidenceRead read;
    std::size_t number = 0;
    while (!bytes.empty()) {
        ++number;
        const std::size_t end = bytes.find("\r\n");
        if (end == std::string_view::npos) {
            // An entry cut short by a failed write, before its line was written: the next save
            // writes over it.
            read.cut_short = true;
            return read;
        }
        const auto entry = ReadEntry(bytes.substr(0, end));
        if (!entry) {
            read.bad_line = number;
            return read;
        }
        read.entries.push_back(*entry);
        bytes.remove_prefix(end + 2);
    }
    return read;
}

}  // namespace station
