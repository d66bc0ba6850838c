#include "core/register/weighing_register.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/file_descriptor.h"
#include "common/fd_io.h"
#include "core/files/io_error.h"
#include "core/register/register_line.h"
#include "core/register/register_place.h"
#include "core/register/register_signer.h"
#include "core/register/register_units.h"

namespace station {
namespace {

constexpr char kEndOfFileMark = 26;
// How far back from the end a run of end-of-file marks is looked for.
constexpr off_t kMarkWindow = 128;

[[noreturn]] void Fail() {
    throw InOutError::FromErrno(errno, true);
}

// Drops a run of end-of-file marks that ends the file, left there by editors of old.
void DropTrailingMarks(int fd) {
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        Fail();
    }
    if (!S_ISREG(info.st_mode) || info.st_size == 0) {
        return;
    }
    const off_t window = info.st_size < kMarkWindow ? info.st_size : kMarkWindow;
    char tail[kMarkWindow];
    const ssize_t got = pread(fd, tail, static_cast<std::size_t>(window), info.st_size - window);
    if (got != window) {
        Fail();
    }
    off_t keep = info.st_size;
    for (ssize_t i = got - 1; i >= 0 && tail[i] == kEndOfFileMark; --i) {
        --keep;
    }
    if (keep != info.st_size && ftruncate(fd, keep) != 0) {
        Fail();
    }
}

// The month file opened for a line, locked against other writers (others may read), with a run
// of end-of-file marks that ends it dropped: the line goes in at End().
class LockedAppend {
public:
    explicit LockedAppend(const std::string& path) : file_(OpenLockedToAppend(path)) {
        DropTrailingMarks(file_.Get());
    }

    std::uint64_t End() const {
        struct stat info {};
        if (fstat(file_.Get(), &info) != 0) {
            Fail();
        }
        return static_cast<std::uint64_t>(info.st_size);
    }

    // The line and CR LF, on disk before this returns.
    void Append(const std::string& line) {
        WriteSyncAndClose(file_, line + std::string(kRegisterLineEnd));
    }

private:
    FileDescriptor file_;
};

}  // namespace

FileDescriptor OpenLockedToAppend(const std::string& path) {
    FileDescriptor file(open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
    if (!file.IsOpen()) {
        Fail();
    }
    // Others may read while lines go in, but not write.
    if (flock(file.Get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) {
            throw InOutError::AccessDenied();
        }
        Fail();
    }
    return file;
}

void WriteSyncAndClose(FileDescriptor& file, const std::string& bytes) {
    if (!WriteAll(file.Get(), bytes)) {
        Fail();
    }
    // A saved weighing must survive a power cut right after the click. Devices that cannot
    // sync (EINVAL) have nothing to flush.
    if (fsync(file.Get()) != 0 && errno != EINVAL) {
        Fail();
    }
    // A failing close is an error of the save.
    if (!file.Close()) {
        Fail();
    }
}

void AppendLineToFile(const std::string& path, const std::string& line) {
    if (line.empty()) {
        return;
    }
    LockedAppend(path).Append(line);
}

void WeighingRegister::SaveWeighing(int scale, const std::string& display_text,
                                    std::string_view unit) {
    const LocalTime now = clock_.Local();
    const std::string line = ComposeRegisterLine(now, time_separator_, scale, display_text);
    const std::string month_file = MonthFileName(now);
    const std::string units = directory_ + "/" + UnitsFileName(month_file);
    // Kilograms need no entry until the month has units: then every line gets one, so that an
    // entry left by a failed save of the same line in the same second never speaks for it.
    const bool kilograms = unit.empty() || unit == "kg";
    if (!kilograms || access(units.c_str(), F_OK) == 0) {
        AppendLineToFile(units, UnitsEntry(kilograms ? "kg" : unit, line));
    }
    if (signer_ == nullptr) {
        AppendLineToFile(directory_ + "/" + month_file, line);
        return;
    }
    // Its evidence before the line and after it, with the file locked throughout, so that the
    // place signed is the place written.
    LockedAppend file(directory_ + "/" + month_file);
    const std::uint64_t offset = file.End();
    const Month month = *Month::OfFileName(month_file);
    signer_->BeforeLine(month, offset, line);
    file.Append(line);
    signer_->AfterLine(offset);
}

}  // namespace station
