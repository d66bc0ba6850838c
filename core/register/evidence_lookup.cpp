#include "core/register/evidence_lookup.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <variant>

#include "base/file_descriptor.h"
#include "core/register/register_place.h"

namespace station {

void EvidenceLookup::LookAgain() {
    for (auto& [file, month] : months_) {
        month.looked = false;
    }
}

EvidenceLookup::MonthEvidence& EvidenceLookup::MonthOf(const std::string& month_file) {
    if (!months_.contains(month_file) && months_.size() >= kMonthsKept) {
        months_.erase(std::min_element(
            months_.begin(), months_.end(),
            [](const auto& a, const auto& b) { return a.second.used < b.second.used; }));
    }
    MonthEvidence& month = months_[month_file];
    month.used = ++lookups_;
    if (!month.looked) {
        Look(month_file, month);
    }
    return month;
}

std::optional<LineEvidence> EvidenceLookup::EvidenceOf(const RegisterEntry& entry) {
    const auto& entries = MonthOf(entry.start.FileName()).entries;
    const auto found = entries.find(entry.start.offset);
    if (found == entries.end() || found->second.first.line != entry.line) {
        return std::nullopt;  // a failed save's entry for the place, or none
    }
    const KeyEntry& key = found->second.second;
    LineEvidence evidence{
        .previous = {}, .entry = found->second.first, .key = key.key, .key_word = key.signature};
    if (found != entries.begin()) {
        evidence.previous = std::prev(found)->second.first.link;
    }
    return evidence;
}

void EvidenceLookup::Look(const std::string& month_file, MonthEvidence& month) const {
    month.looked = true;
    const std::string path = directory_ + "/" + EvidenceFileName(month_file);
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    const off_t size = file.IsOpen() ? ::lseek(file.Get(), 0, SEEK_END) : 0;
    if (size < month.read) {  // replaced or cut: read whole again
        const std::uint64_t used = month.used;
        month = MonthEvidence{};
        month.looked = true;
        month.used = used;
    }
    if (size <= month.read) {
        return;
    }
    std::string bytes(static_cast<std::size_t>(size - month.read), '\0');
    if (::pread(file.Get(), bytes.data(), bytes.size(), month.read) !=
        static_cast<ssize_t>(bytes.size())) {
        return;  // looked at again at the next read of the register
    }
    // Up to the last whole entry: the rest is read with what follows it.
    bytes.resize(bytes.rfind(kRegisterLineEnd) == std::string::npos
                     ? 0
                     : bytes.rfind(kRegisterLineEnd) + kRegisterLineEnd.size());
    const EvidenceRead read = ReadEvidence(bytes);
    for (const EvidenceEntry& evidence : read.entries) {
        if (const auto* key = std::get_if<KeyEntry>(&evidence)) {
            month.key = *key;
        } else if (const auto* line = std::get_if<LineEntry>(&evidence)) {
            month.entries.insert_or_assign(line->offset, std::pair{*line, month.key});
        }
    }
    month.read += static_cast<off_t>(bytes.size());
}

}  // namespace station
