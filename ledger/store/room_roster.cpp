#include "ledger/store/room_roster.h"

#include <algorithm>

namespace station::ledger {

bool RoomRoster::Admit(const std::string& room, bool weighing, TimePoint now,
                       std::optional<std::string>& forgotten) {
    auto found = rooms_.find(room);
    if (found == rooms_.end() || (weighing && !found->second.weighed)) {
        // Counted only as a room comes or first weighs: at most `most` of each kind are.
        if (weighing && Count(true) >= most_) {
            return false;
        }
        if (found == rooms_.end() && Count(false) >= most_) {
            const auto unheard = std::min_element(
                rooms_.begin(), rooms_.end(), [](const auto& left, const auto& right) {
                    return !left.second.weighed &&
                           (right.second.weighed || left.second.heard < right.second.heard);
                });
            forgotten = unheard->first;
            rooms_.erase(unheard);
        }
        found = rooms_.try_emplace(room).first;
    }
    found->second.heard = now;
    return true;
}

void RoomRoster::Weighed(const std::string& room) {
    rooms_[room].weighed = true;
}

std::vector<std::string> RoomRoster::Expire(TimePoint now) {
    std::vector<std::string> expired;
    for (auto room = rooms_.begin(); room != rooms_.end();) {
        if (!room->second.weighed && now - room->second.heard >= kUnheardKept) {
            expired.push_back(room->first);
            room = rooms_.erase(room);
        } else {
            ++room;
        }
    }
    return expired;
}

std::size_t RoomRoster::Count(bool weighed) const {
    return static_cast<std::size_t>(
        std::count_if(rooms_.begin(), rooms_.end(),
                      [weighed](const auto& room) { return room.second.weighed == weighed; }));
}

}  // namespace station::ledger
