#include "ledger/store/room_roster.h"

#include <gtest/gtest.h>

namespace station::ledger {
namespace {

using namespace std::chrono_literals;

// Rooms a stranger invents by the thousand fill only the places of rooms heard without a weighing,
// where the one unheard of longest makes way; a real room's weighing still finds its place, and
// what only ever sent a status is gone after a day.
TEST(RoomRoster, InventedRoomsNeitherGrowItNorLockARealRoomOut) {
    RoomRoster roster(2);
    RoomRoster::TimePoint now{};
    const struct {
        const char* room;
        bool weighing;
        bool kept;
        const char* forgotten;
    } steps[] = {
        {"s1", false, true, ""},   {"s2", false, true, ""},    {"s3", false, true, "s1"},
        {"s2", false, true, ""},  // heard again: now the newest
        {"s4", false, true, "s3"}, {"real", true, true, "s2"}, {"w2", true, true, ""},
        {"w3", true, false, ""},   {"s5", false, true, ""},    {"s6", false, true, "s4"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.room);
        now += 1s;
        std::optional<std::string> forgotten;
        EXPECT_EQ(roster.Admit(step.room, step.weighing, now, forgotten), step.kept);
        EXPECT_EQ(forgotten.value_or(""), step.forgotten);
        if (step.kept && step.weighing) {
            roster.Weighed(step.room);
        }
    }
    EXPECT_TRUE(roster.Expire(now + RoomRoster::kUnheardKept - 2s).empty());
    EXPECT_EQ(roster.Expire(now + RoomRoster::kUnheardKept),
              (std::vector<std::string>{"s5", "s6"}));
}

}  // namespace
}  // namespace station::ledger
