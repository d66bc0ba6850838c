#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace station::ledger {

// Which rooms the ledger keeps, so that names a stranger invents can neither grow it without
// bound nor lock a real room out. A room with a weighing is kept for good, while fewer than
// `most` such rooms are; a room heard only by its status or its scales' states is kept too, as
// many again, and makes room for a new one when they are full (the one unheard of longest goes),
// and goes once unheard of for kUnheardKept.
class RoomRoster {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    static constexpr std::chrono::hours kUnheardKept{24};

    explicit RoomRoster(std::size_t most) : most_(most) {}

    // Whether a message of `room` is kept: a weighing when the room has weighings or there is a
    // place for one more such room; anything else always. A room forgotten to make place for a
    // new one is set in `forgotten`.
    bool Admit(const std::string& room, bool weighing, TimePoint now,
               std::optional<std::string>& forgotten);
    // The room holds a weighing: it is kept for good.
    void Weighed(const std::string& room);
    // A room the database holds, kept whatever the bounds (they may have been lowered since).
    void Load(const std::string& room, bool weighed, TimePoint now) {
        rooms_[room] = {weighed, now};
    }
    // The rooms heard only by status or state that were unheard of for kUnheardKept, forgotten.
    std::vector<std::string> Expire(TimePoint now);
    void Clear() { rooms_.clear(); }
    std::size_t Most() const { return most_; }

private:
    struct Room {
        bool weighed = false;
        TimePoint heard;
    };
    std::size_t Count(bool weighed) const;

    std::size_t most_;
    std::map<std::string, Room> rooms_;
};

}  // namespace station::ledger
