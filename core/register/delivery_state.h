#pragma once

#include <string>

#include "common/clock.h"
#include "core/register/register_place.h"

namespace station {

// How far delivery of the register has come, as its state file says: "yyyymm.txt offset" and a
// line feed, replaced whole on every change.
struct DeliveryState {
    enum class Kind {
        kMissing,  // no state file: a first start
        kRead,     // `place` is where delivery stands
        kDamaged,  // the file cannot be read or names no place the register could have handed
                   // out; `place` is where delivery starts again, `damage` says what is wrong
    };
    Kind kind = Kind::kMissing;
    RegisterPosition place;
    std::string damage;
};

// Reads the state file `path` and checks its place against the register in `directory`. A
// damaged state starts again at the beginning of the month file it still names, or, when it
// names none, at the beginning of the month before `now`, so the previous and the current month
// go out again: their ids are stable and a collector drops what it already has.
DeliveryState LoadDeliveryState(const std::string& path, const std::string& directory,
                                const LocalTime& now);

// Throws InOutError.
void StoreDeliveryState(const std::string& path, const RegisterPosition& place);

// Where a damaged state file is kept for a person to look at.
std::string DamagedStatePath(const std::string& path);

}  // namespace station
