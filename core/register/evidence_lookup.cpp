#include "core/register/evidence_lookup.h"

#include <fcntl.h>
#include <unistd.h>

#include <variant>

#include "base/file_descriptor.h"
#include "core/register/register_place.h"

namespace station {

std::optional<LineEntry> EvidenceLookup::EntryOf(const RegisterEntry& entry) {
    if (!looked_ || entry.start.FileName() != month_) {
        Look(entry.start.FileName());
    }
    const auto found = entries_.find(entry.start.offset);
    if (found == entries_.end() || found->second.line != entry.line) {
        return std::nullopt;  // a failed save's entry for the place, or none
    }
    return found->second;
}

void EvidenceLookup::Look(const std::string& month_file) {
    looked_ = true;
    if (month_file != month_) {
        month_ = month_file;
        read_ = 0;
        entries_.clear();
    }
    const std::string path = directory_ + "/" + EvidenceFileName(month_file);
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    const off_t size = file.IsOpen() ? ::lseek(file.Get(), 0, SEEK_END) : 0;
    if (size < read_) {  // replaced or cut: read whole again
        read_ = 0;
        entries_.clear();
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
        if (const auto* line = std::get_if<LineEntry>(&evidence)) {
            entries_.insert_or_assign(line->offset, *line);
        }
    }
    read_ += static_cast<off_t>(bytes.size());
}

}  // namespace station
