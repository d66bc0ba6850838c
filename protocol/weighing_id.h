#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "protocol/month.h"

namespace station::protocol {

// A weighing's id, "CLIENT/yyyymm/OFFSET": the station's client id and the place of the
// weighing's line in its register (the month's file and the byte offset), so the same weighing
// sent again after a restart has the same id.
struct WeighingId {
    std::string client_id;  // may hold '/'; the last two parts are the place
    Month month;
    std::uint64_t offset = 0;

    std::string Text() const;
    // Nothing unless `text` is an id: a client id of at least one byte, a month, an offset of at
    // most 19 digits.
    static std::optional<WeighingId> Read(std::string_view text);
};

}  // namespace station::protocol
