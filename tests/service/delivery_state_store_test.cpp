// The delivered place is stored once per burst of acknowledgements, and never lost at the end.
#include <gtest/gtest.h>

#include "base/poll_loop.h"
#include "core/register/delivery_state.h"
#include "service/delivery_state_store.h"
#include "tests/support/temp_dir.h"

namespace station {
namespace {

using namespace std::chrono_literals;
using test::ReadFile;

RegisterPosition StoredAt(std::uint64_t offset) {
    return {Month::Of(2026, 12), offset};
}

TEST(DeliveryStateStore, ABurstCostsOneWriteAndTheLastPlaceIsKept) {
    const test::TempDir dir;
    PollLoop loop;
    std::vector<std::string> problems;
    auto store = std::make_unique<DeliveryStateStore>(
        loop, dir / "state", [&](const std::string& problem) { problems.push_back(problem); });

    store->Keep(StoredAt(10), true);
    store->Keep(StoredAt(20), true);
    EXPECT_EQ(ReadFile(dir / "state"), "") << "nothing written while acknowledgements flow";
    store->Keep(StoredAt(30), false);
    EXPECT_EQ(ReadFile(dir / "state"), "202612.txt 30\n") << "at once when the flow stops";

    store->Keep(StoredAt(40), true);
    EXPECT_TRUE(loop.RunUntil([&] { return ReadFile(dir / "state") == "202612.txt 40\n"; }, 2s))
        << "within the interval while it goes on";
    store->Keep(StoredAt(50), true);
    store.reset();
    EXPECT_EQ(ReadFile(dir / "state"), "202612.txt 50\n") << "whatever is pending at the end";
    EXPECT_TRUE(problems.empty());

    DeliveryStateStore through_a_file(loop, dir / "state/below", [&](const std::string& problem) {
        problems.push_back(problem);
    });
    through_a_file.Keep(StoredAt(10), false);
    through_a_file.Keep(StoredAt(20), false);
    ASSERT_EQ(problems.size(), 1u) << "once per change of the problem";
    EXPECT_NE(problems[0].find("state/below"), std::string::npos) << problems[0];
}

}  // namespace
}  // namespace station
