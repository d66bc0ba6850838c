#include "common/known_keys.h"

#include <algorithm>
#include <numeric>
#include <vector>

#include "common/ascii.h"

namespace station {
namespace {

std::size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    std::iota(row.begin(), row.end(), 0);
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// " (did you mean X?)" for the nearest of `names` within a third of the name's length.
std::string Suggestion(const std::string& name, const std::set<std::string>& names) {
    std::string nearest;
    std::size_t best = name.size() / 3 + 1;
    for (const std::string& candidate : names) {
        if (const std::size_t distance = EditDistance(name, candidate); distance <= best) {
            best = distance;
            nearest = candidate;
        }
    }
    return nearest.empty() ? "" : " (did you mean " + nearest + "?)";
}

}  // namespace

std::string KeyRecordingIniFile::ReadString(std::string_view section, std::string_view key,
                                            std::string_view fallback) const {
    asked_.emplace(ToLowerAscii(section), ToLowerAscii(key));
    return IniFile::ReadString(section, key, fallback);
}

std::string KeyRecordingIniFile::UnknownEntry() const {
    std::set<std::string> sections;
    for (const auto& [section, key] : asked_) {
        sections.insert(section);
    }
    for (const IniEntry& entry : Entries()) {
        const std::string section = ToLowerAscii(entry.section);
        const std::string where = Name() + ":" + std::to_string(entry.line) + ": ";
        if (!sections.contains(section)) {
            if (entry.key.empty()) {
                return where + "unknown section [" + entry.section + "]" +
                       Suggestion(section, sections);
            }
            if (entry.section.empty()) {
                return where + "key " + entry.key + " stands before any [section]";
            }
            continue;  // said at its header
        }
        if (entry.key.empty() || asked_.contains({section, ToLowerAscii(entry.key)})) {
            continue;
        }
        std::set<std::string> keys;
        for (const auto& [asked_section, key] : asked_) {
            if (asked_section == section) {
                keys.insert(key);
            }
        }
        return where + "unknown key " + entry.key + " in section [" + entry.section + "]" +
               Suggestion(ToLowerAscii(entry.key), keys);
    }
    return {};
}

}  // namespace station
