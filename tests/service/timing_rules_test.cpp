// Publishing's timing rules on the poll loop with its time advanced: live states thinned per
// scale, and the broker retried after one second, doubling to a minute.
#include <gtest/gtest.h>

#include "base/poll_loop.h"
#include "broker/broker_supervisor.h"
#include "service/state_thinning.h"
#include "tests/support/loopback.h"

namespace station::test {
namespace {

using std::chrono::milliseconds;
using namespace std::chrono_literals;

TEST(StateThinning, AtMostOneStateEvery200msPerScaleTheLatestWinning) {
    PollLoop loop;
    std::vector<std::string> sent;  // "scale:reading"
    bool session = true;
    StateThinning thinning(loop, [&](int scale, const StateThinning::ScaleState& state) {
        if (session) {
            sent.push_back(std::to_string(scale) + ":" + state.reading.Text());
        }
        return session;
    });
    thinning.ReadingShown(1, Reading::Weight("1"));
    for (int i = 2; i <= 50; ++i) {
        thinning.ReadingShown(1, Reading::Weight(std::to_string(i)));
        loop.Advance(2ms);
    }
    thinning.ReadingShown(2, Reading::Weight("7"));  // another scale is not held back
    EXPECT_EQ(sent, (std::vector<std::string>{"1:1", "2:7"}));
    loop.Advance(90ms);  // 188 ms after the first
    EXPECT_EQ(sent.size(), 2u);
    loop.Advance(12ms);
    EXPECT_EQ(sent.back(), "1:50");
    loop.Advance(1000ms);
    EXPECT_EQ(sent.size(), 3u) << "nothing changed, nothing sent";

    session = false;  // a state that could not go out goes with the next session
    thinning.ConnectionShown(3, true);
    session = true;
    thinning.Resend();
    loop.Advance(0ms);
    EXPECT_EQ(sent.size(), 3u + 4u);
}

TEST(BrokerSupervisor, ABrokerThatIsDownIsTriedAfterOneSecondDoublingToAMinute) {
    PollLoop loop;
    const RefusingPort refusing;
    net::BrokerOptions options;
    options.host = "127.0.0.1";
    options.port = refusing.Port();
    options.client_id = "t";
    int tries = 0;
    int problems = 0;
    BrokerSupervisor supervisor(loop, options,
                                {[] { FAIL() << "nothing listens"; },
                                 [&](const std::string&) { ++tries; },
                                 [](int) {},
                                 [&](const std::string&) { ++problems; },
                                 {}});
    ASSERT_TRUE(loop.RunUntil([&] { return tries == 1; }, 5s));
    for (const int wait : {1, 2, 4, 8, 16, 32, 60, 60}) {
        SCOPED_TRACE(wait);
        // The loop's time runs on with the real time these checks take, 50 ms of the 100.
        loop.Advance(std::chrono::seconds(wait) - 100ms);
        EXPECT_FALSE(loop.RunUntil([&] { return tries > 1; }, 50ms)) << "tried too soon";
        loop.Advance(100ms);
        ASSERT_TRUE(loop.RunUntil([&] { return tries == 2; }, 5s));
        tries = 1;
    }
    EXPECT_EQ(problems, 1) << "the same problem is said once";
}

}  // namespace
}  // namespace station::test
