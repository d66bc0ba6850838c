#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "base/file_descriptor.h"
#include "common/clock.h"

namespace station {

class RegisterSigner;

// The data directory as installed, below the working directory: register files and the
// station's own files.
inline constexpr const char* kDataDirectory = "dane";

// The month's register of saved weighings, "yyyymm.txt" in the data directory: one line per save
// (register_line.h), CR LF. register_place.h says what it promises its readers.
class WeighingRegister {
public:
    WeighingRegister(Clock& clock, char time_separator, std::string directory)
        : clock_(clock), time_separator_(time_separator), directory_(std::move(directory)) {}

    // Appends the line of scale `scale` (1 to 4) with `display_text`, 8-bit, as shown, and
    // before it, for a `unit` the scale wrote, its entry in the month's units (register_units.h).
    // Throws InOutError; the files are closed on every path.
    void SaveWeighing(int scale, const std::string& display_text, std::string_view unit = {});
    // With signing on: each line's evidence beside it (register_signer.h); nothing for off.
    void SignWith(RegisterSigner* signer) { signer_ = signer; }

private:
    Clock& clock_;
    RegisterSigner* signer_ = nullptr;
    char time_separator_;
    std::string directory_;
};

// The file at `path` opened to append, created when missing but never its directory, and locked
// against other writers (readers may go on). Throws InOutError, AccessDenied while another writes.
FileDescriptor OpenLockedToAppend(const std::string& path);
// Writes `bytes` to `file`, on disk before this returns, and closes it. Throws InOutError.
void WriteSyncAndClose(FileDescriptor& file, const std::string& bytes);

// Appends `line` and CR LF to the file, creating it when missing but never its directory.
// A run of end-of-file marks (26) that ends the file is dropped first; marks followed by
// other bytes are data and stay. The line goes out in one write under an exclusive lock and is
// on disk before this returns. Nothing happens for an empty line. Throws InOutError.
void AppendLineToFile(const std::string& path, const std::string& line);

}  // namespace station
