#include "core/register/register_signer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/file_descriptor.h"
#include "common/whole_file.h"
#include "core/files/io_error.h"
#include "core/register/register_place.h"
#include "core/register/weighing_register.h"

namespace station {
namespace {

[[noreturn]] void EvidenceWriteFailed() {
    throw InOutError::FromErrno(errno, true);
}

// Appends `entries` (each ended by CR LF) to the evidence at `path`, on disk before this
// returns. An entry a failed save cut short at the end is dropped first: its line was never
// written.
void AppendEvidence(const std::string& path, const std::string& entries) {
    FileDescriptor file = OpenLockedToAppend(path);
    struct stat info {};
    if (fstat(file.Get(), &info) != 0) {
        EvidenceWriteFailed();
    }
    if (S_ISREG(info.st_mode) && info.st_size > 0) {
        // Back to the last CR LF, looked for in the tail an entry can take.
        constexpr off_t kLongestEntry = 4096;
        const off_t window = info.st_size < kLongestEntry ? info.st_size : kLongestEntry;
        std::string tail(static_cast<std::size_t>(window), '\0');
        if (pread(file.Get(), tail.data(), tail.size(), info.st_size - window) != window) {
            EvidenceWriteFailed();
        }
        const std::size_t last = tail.rfind(kRegisterLineEnd);
        const off_t keep =
            last == std::string::npos
                ? (window == info.st_size ? 0 : info.st_size)  // one long line: not ours to cut
                : info.st_size - window + static_cast<off_t>(last + kRegisterLineEnd.size());
        if (keep != info.st_size && ftruncate(file.Get(), keep) != 0) {
            EvidenceWriteFailed();
        }
    }
    WriteSyncAndClose(file, entries);
}

std::string Ended(const EvidenceEntry& entry) {
    return EvidenceText(entry) + std::string(kRegisterLineEnd);
}

EvidenceRead ReadEvidenceFile(const std::string& path) {
    std::string bytes;
    if (ReadWhole(path, bytes) != ReadResult::kRead) {
        return {};
    }
    return ReadEvidence(bytes);
}

}  // namespace

MonthLines ReadMonthLines(const std::string& register_path) {
    MonthLines month;
    std::string bytes;
    if (ReadWhole(register_path, bytes) != ReadResult::kRead) {
        return month;
    }
    std::size_t at = 0;
    for (std::size_t end; (end = bytes.find(kRegisterLineEnd, at)) != std::string::npos;
         at = end + kRegisterLineEnd.size()) {
        month.lines.push_back({at, bytes.substr(at, end - at)});
    }
    month.end = at;
    return month;
}

std::string RegisterSigner::EvidencePath(Month month) const {
    return directory_ + "/" + EvidenceFileName(month.FileName());
}

ChainCheck RegisterSigner::Check(Month month) const {
    const MonthLines lines = ReadMonthLines(directory_ + "/" + month.FileName());
    return CheckMonth(month, lines.lines, lines.end, ReadEvidenceFile(EvidencePath(month)),
                      std::nullopt, false);
}

void RegisterSigner::BeforeLine(Month month, std::uint64_t offset, const std::string& line) {
    if (month_ != month) {
        // The chain goes on from the month's last line that holds; after a break, the break is
        // the evidence's to show, not the next line's.
        const ChainCheck check = Check(month);
        month_ = month;
        last_link_ = check.last_link;
        month_key_ = check.key;
        keyed_ = check.key == key_.public_key;
    }
    std::string entries;
    if (!keyed_) {
        const bool follows = announced_ && month_key_ == announced_->previous;
        entries += Ended(KeyEntry{key_.public_key,
                                  follows ? std::optional(announced_->signature) : std::nullopt});
    }
    const ChainLink link = NextLink(last_link_, month, offset, line);
    entries += Ended(LineEntry{offset, link, SignLink(key_.secret_key, link), line});
    AppendEvidence(EvidencePath(month), entries);
    keyed_ = true;
    pending_link_ = link;
}

void RegisterSigner::AfterLine(std::uint64_t offset) {
    // The chain goes on from a line only once it is in the register: a failed save's entry is
    // passed over by whoever checks.
    last_link_ = pending_link_;
    AppendEvidence(EvidencePath(*month_), Ended(SavedEntry{offset}));
}

}  // namespace station
