// The harness never waits for a child without a bound.
#include <gtest/gtest.h>

#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace station::test {
namespace {

struct EndCase {
    const char* name;
    std::vector<std::string> arguments;
    bool ends_politely;
};

class ChildProcessEnd : public ::testing::TestWithParam<EndCase> {};

TEST_P(ChildProcessEnd, EndsWithinTheBoundAndSaysWhetherItNeededTheKill) {
    const TempDir dir;
    ChildProcess child(GetParam().arguments, dir / "output");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // its trap is set by now
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(child.End(SIGTERM), GetParam().ends_politely);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, kEndBound + std::chrono::seconds(2));
}

INSTANTIATE_TEST_SUITE_P(
    Children, ChildProcessEnd,
    ::testing::Values(EndCase{"Polite", {"sleep", "60"}, true},
                      EndCase{"IgnoresSigterm", {"sh", "-c", "trap '' TERM; exec sleep 60"}, false}),
    [](const auto& test) { return std::string(test.param.name); });

}  // namespace
}  // namespace station::test
