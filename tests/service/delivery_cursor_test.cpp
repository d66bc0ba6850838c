// Where delivery stands, from sends, acknowledgements in any order, skips and lost sessions.
#include <gtest/gtest.h>

#include "broker/backoff.h"
#include "service/delivery_cursor.h"

namespace station {
namespace {

RegisterPosition At(std::uint64_t offset) {
    return {Month::Of(2026, 12), offset};
}

TEST(DeliveryCursor, OnlyTheAcknowledgedStartOfTheWindowIsDelivered) {
    DeliveryCursor cursor(At(0));
    EXPECT_EQ(cursor.Room(), DeliveryCursor::kWindow);
    for (int id = 1; id <= 4; ++id) {
        cursor.Sent(id, At(static_cast<std::uint64_t>(id) * 10));
    }
    EXPECT_FALSE(cursor.Acknowledged(3)) << "1 and 2 are still out";
    EXPECT_FALSE(cursor.Acknowledged(99)) << "a status message";
    EXPECT_TRUE(cursor.Acknowledged(1));
    EXPECT_EQ(cursor.Delivered(), At(10));
    EXPECT_TRUE(cursor.Acknowledged(2));
    EXPECT_EQ(cursor.Delivered(), At(30)) << "3 was acknowledged before";
    EXPECT_EQ(cursor.Next(), At(40));

    // A line that is no weighing is passed over once everything before it is delivered.
    EXPECT_FALSE(cursor.Skipped(At(50)));
    EXPECT_TRUE(cursor.Acknowledged(4));
    EXPECT_EQ(cursor.Delivered(), At(50));
    EXPECT_EQ(cursor.InFlight(), 0u);
    EXPECT_TRUE(cursor.Skipped(At(60)));
    EXPECT_EQ(cursor.Delivered(), At(60));
}

TEST(DeliveryCursor, ALostSessionSendsEverythingUnacknowledgedAgain) {
    DeliveryCursor cursor(At(0));
    for (int id = 1; id <= 12; ++id) {
        cursor.Sent(id, At(static_cast<std::uint64_t>(id)));
    }
    EXPECT_EQ(cursor.Room(), 0u) << "refilled only once half the window is back";
    cursor.Acknowledged(1);
    cursor.Acknowledged(2);
    EXPECT_EQ(cursor.Room(), DeliveryCursor::kWindow - 10);
    cursor.Acknowledged(5);
    cursor.SessionLost();
    EXPECT_EQ(cursor.Delivered(), At(2));
    EXPECT_EQ(cursor.Next(), At(2));
    EXPECT_EQ(cursor.InFlight(), 0u);
    EXPECT_FALSE(cursor.Acknowledged(3)) << "an id of the old session";
}

TEST(Backoff, DoublesUpToAMinuteAndStartsAgainAfterASuccess) {
    Backoff backoff;
    std::vector<long> waits;
    waits.reserve(8);
    for (int i = 0; i < 8; ++i) {
        waits.push_back(static_cast<long>(backoff.Next().count()));
    }
    EXPECT_EQ(waits, (std::vector<long>{1, 2, 4, 8, 16, 32, 60, 60}));
    backoff.Reset();
    EXPECT_EQ(backoff.Next().count(), 1);
}

}  // namespace
}  // namespace station
