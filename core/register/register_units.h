#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <unordered_map>

#include "core/register/register_reader.h"

namespace station {

// The units of saved weighings whose scale writes one (grams, tonnes, pounds). A register line
// holds the reading as displayed and no unit, so the month's side file "yyyymm.jednostki", beside
// "yyyymm.txt", holds for each such weighing its unit, TAB and its register line, CR LF. It is
// written before the register line, so that no weighing in the register lacks its unit; an
// entry whose line never reached the register (a save that failed) is looked up only for the same
// line saved again, whose own entry comes after it and wins. A weighing without an entry is in
// kilograms. The file exists only once a unit other than kilograms was saved; from then on every
// save of the month has an entry.

// "yyyymm.jednostki" for the month file "yyyymm.txt".
std::string UnitsFileName(std::string_view month_file_name);

// The entry of a line about to be saved in `unit`.
std::string UnitsEntry(std::string_view unit, std::string_view register_line);

// The units of a register's weighings, read back for their messages. A month's side file is
// looked at again at the first lookup after each read of the register (the entries of the lines
// read were written before them), and read again only when its size changed.
class RegisterUnits {
public:
    explicit RegisterUnits(std::string directory) : directory_(std::move(directory)) {}

    // The unit saved with `entry`'s weighing; empty for kilograms, or when it cannot be read.
    std::string UnitOf(const RegisterEntry& entry);
    // The register was read again: the next lookup looks whether the side file changed.
    void LookAgain() { looked_ = false; }

private:
    void Look(const std::string& month_file);

    std::string directory_;
    std::string month_;    // the month file whose entries are held
    off_t size_ = -1;      // of its side file when read; -1 when there is none
    bool looked_ = false;  // at the side file since the register was last read
    std::unordered_map<std::string, std::string> units_;  // register line → unit
};

}  // namespace station
