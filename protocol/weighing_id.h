#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/month.h"

namespace station::protocol {

// A place in a station's register, "yyyymm/OFFSET": the month's file and a byte offset in it.
struct LinePlace {
    Month month;
    std::uint64_t offset = 0;

    std::string Text() const;
    // Nothing unless `text` is a month, '/', and an offset of at most 19 digits without a leading
    // zero, so that a place reads back as the one text it was written as.
    static std::optional<LinePlace> Read(std::string_view text);

    auto operator<=>(const LinePlace&) const = default;
};

// A weighing's id, "CLIENT/yyyymm/OFFSET": the station's client id and the place of the
// weighing's line in its register (the month's file and the byte offset), so the same weighing
// sent again after a restart has the same id.
struct WeighingId {
    std::string client_id;  // may hold '/'; the last two parts are the place
    Month month;
    std::uint64_t offset = 0;

    std::string Text() const;
    LinePlace Place() const { return {month, offset}; }
    // Nothing unless `text` is an id: a client id of at least one byte and a place.
    static std::optional<WeighingId> Read(std::string_view text);
};

}  // namespace station::protocol
