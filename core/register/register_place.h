#pragma once

// The weighing register, and what it promises to whoever reads it back.
//
// Files. One file per month in the data folder, named "yyyymm.txt", and nothing else with such
// a name. A file holds lines, each ending in CR LF (register_line.h says what a line is). The
// station's writer (weighing_register.h) only appends, one whole line per write, under an
// exclusive lock, on disk before the save is reported.
//
// End-of-file marks. Editors of old end a text file with a run of end-of-file marks (byte 26).
// Before appending, the writer cuts such a run off when it ends the file; marks followed by other
// bytes are data and stay. Nothing else of a file is ever changed.
//
// Places. A place is a month file and a byte offset in it (RegisterPosition). The reader
// (register_reader.h) hands out only places right after a line's CR LF, or the start of a file:
// never a place inside a line or inside a trailing run of marks. Such a place stays valid across
// every later save, trimming included, because all that the writer removes lies after the last
// CR LF. Places order as the saves did: by file name, then by offset.
//
// What a reader may assume of a file it did not write: nothing beyond the above. Bytes after
// the last CR LF are a line still being written, or not a line at all, and are not handed out.
// A line that is not a weighing (register_line.h) is handed out as it is: the reader's caller
// decides what to do with it. A month file that cannot be read stops the reader there, with the
// reason; it is never stepped over, since what lies in it was never handed out.
//
// Delivery state (delivery_state.h): the place up to which the register has been delivered,
// kept in a small file of its own. A state file that is missing means a first start; one that
// cannot be read, or does not hold a place that the register could have handed out, is damaged,
// which is not the same thing.

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/month.h"

namespace station {

// What ends every line of a month file.
inline constexpr std::string_view kRegisterLineEnd = "\r\n";

// A place in the register: a month's file ("202612.txt") and a byte offset in it.
struct RegisterPosition {
    std::optional<Month> month;  // its file's; nothing: before every file
    std::uint64_t offset = 0;

    // "202612.txt"; empty before every file.
    std::string FileName() const { return month ? month->FileName() : std::string(); }

    auto operator<=>(const RegisterPosition&) const = default;
};

}  // namespace station
