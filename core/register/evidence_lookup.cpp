#include "core/register/evidence_lookup.h"

#include <fcntl.h>
#include <unistd.h>

#include <variant>

#include "base/file_descriptor.h"
#include "core/register/register_place.h"

namespace station {

std::optional<LineEvidence> EvidenceLookup::EvidenceOf(const RegisterEntry& entry) {
    if (!looked_ || entry.start.FileName() != month_) {
        Look(entry.start.FileName());
    }
    const auto found = entries_.find(entry.start.offset);
    if (found == entries_.end() || found->second.first.line != entry.line) {
        return std::nullopt;  // a failed save's entry for the place, or none
    }
    const KeyEntry& key = found->second.second;
    LineEvidence evidence{
        .previous = {}, .entry = found->second.first, .key = key.key, .key_word = key.signature};
    if (found != entries_.begin()) {
        evidence.previous = std::prev(found)->second.first.link;
    }
    return evidence;
}

void EvidenceLookup::Look(const std::string& month_file) {
    looked_ = true;
    if (month_file != month_) {
        month_ = month_file;
        read_ = 0;
        entries_.clear();
        key_ = {};
    }
    const std::string path = directory_ + "/" + EvidenceFileName(month_file);
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    const off_t size = file.IsOpen() ? ::lseek(file.Get(), 0, SEEK_END) : 0;
    if (size < read_) {  // replaced or cut: read whole again
        read_ = 0;
        entries_.clear();
        key_ = {};
    }
    if (size <= read_) {
        return;
    }
    std::string bytes(static_cast<std::size_t>(size - read_), '\0');
    if (::pread(file.Get(), bytes.data(), bytes.size(), read_) !=
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
            key_ = *key;
        } else if (const auto* line = std::get_if<LineEntry>(&evidence)) {
            entries_.insert_or_assign(line->offset, std::pair{*line, key_});
        }
    }
    read_ += static_cast<off_t>(bytes.size());
}

}  // namespace station
