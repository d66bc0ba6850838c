#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <vector>

#include "core/register/register_place.h"

namespace station {

// One line of the register, without CR LF, with the places where it starts and ends.
struct RegisterEntry {
    RegisterPosition start;
    RegisterPosition end;
    std::string line;
};

// What a read of the register gave: the lines, and why it stopped early if it did.
struct RegisterRead {
    std::vector<RegisterEntry> entries;
    std::string problem;  // a month file that could not be read, and why; empty when none
};

// The register of `directory` read as a queue: the whole lines after `from`, oldest first, at
// most `limit`. Stops at a month file that cannot be read, after the lines before it.
RegisterRead ReadRegisterAfter(const std::string& directory, const RegisterPosition& from,
                               std::size_t limit);

// The nearest place at or before `place` that the reader hands out: the start of a line of its
// month file, or the place after the file's last whole line; the file's start when the file is
// not there or cannot be read.
RegisterPosition LineStartAtOrBefore(const std::string& directory, const RegisterPosition& place);

// The place after the last whole line of the newest month file; empty when there is none.
RegisterPosition RegisterEnd(const std::string& directory);

// How many whole lines follow a place that only ever moves on, as the delivered place does. It
// remembers where the lines it has seen end, and reads the month files again only once told that
// the register grew (or when they could not all be read): a flow of acknowledgements is counted
// in memory, not by a read of the register each.
class RegisterLineCount {
public:
    explicit RegisterLineCount(std::string directory) : directory_(std::move(directory)) {}

    // Whole lines after `from`, as far as the month files can be read.
    std::size_t After(const RegisterPosition& from);
    // A line was added: the next count reads what follows the lines known.
    void Grew() { current_ = false; }

private:
    std::string directory_;
    RegisterPosition scanned_;           // lines are known up to here
    std::deque<RegisterPosition> ends_;  // where each known line after the last `from` ends
    bool current_ = false;               // the files were read whole since the last line added
};

}  // namespace station
