// The broker client against servers that are no broker: nothing stops the loop, and each gives a
// reason to try again later. Real brokers are met in the station's publishing tests.
#include "net/broker_client.h"
#include "tests/net/net_fixtures.h"

namespace station::net::test {
namespace {

struct NotABroker {
    const char* name;
    std::string_view says;  // once the client has sent its CONNECT; nothing at all when empty
    const char* reason;
};

class BrokerClientTest : public ::testing::TestWithParam<NotABroker> {
protected:
    PollLoop loop_;
    BrokerClient client_{loop_};
};

TEST_P(BrokerClientTest, GivesUpOnAServerThatIsNoBroker) {
    Listener server;
    std::vector<std::string> lost;
    client_.on_lost = [&](const std::string& reason) { lost.push_back(reason); };
    BrokerOptions options;
    options.host = "127.0.0.1";
    options.port = server.Port();
    options.client_id = "test";
    options.answer_timeout = 300ms;
    client_.Connect(options);
    const int peer = server.Accept();
    ASSERT_GE(peer, 0);
    ASSERT_TRUE(loop_.RunUntil([&] { return loop_.ActiveWatchCount() == 1; }, 2s));
    // The CONNECT packet arrives; the loop keeps turning while the server holds back.
    char connect_packet[256];
    ASSERT_GT(recv(peer, connect_packet, sizeof connect_packet, 0), 0);
    EXPECT_EQ(connect_packet[0], 0x10);
    SendAll(peer, std::string(GetParam().says));
    ASSERT_TRUE(loop_.RunUntil([&] { return !lost.empty(); }, 3s));
    EXPECT_EQ(lost, std::vector<std::string>{GetParam().reason});
    EXPECT_FALSE(client_.Connected());
    EXPECT_EQ(loop_.ActiveWatchCount(), 0u);
    close(peer);
}

const NotABroker kNotBrokers[] = {
    {"Silent", "", "no answer from the broker"},
    {"Garbage", std::string_view("\x00\x00", 2),
     "A network protocol error occurred when communicating with the broker."},
    {"Web", "HTTP/1.1 400 Bad Request\r\n\r\n", "no answer from the broker"},
};

void PrintTo(const NotABroker& value, std::ostream* out) {
    *out << value.name;
}

std::string CaseName(const ::testing::TestParamInfo<NotABroker>& server) {
    return server.param.name;
}

INSTANTIATE_TEST_SUITE_P(Servers, BrokerClientTest, ::testing::ValuesIn(kNotBrokers), CaseName);

// Attempts abandoned while their worker still resolves and connects, then the client goes:
// nothing reports, and nothing is left for the sanitizers to find at the end.
TEST(BrokerClientAttempts, ManyStartedAndDroppedLeaveNothing) {
    const Listener server;
    PollLoop loop;
    int lost = 0;
    {
        BrokerClient client(loop);
        client.on_lost = [&](const std::string&) { ++lost; };
        BrokerOptions options;
        options.host = "localhost";
        options.port = server.Port();
        options.client_id = "test";
        for (int i = 0; i < 50; ++i) {
            client.Connect(options);  // ends the attempt before it
        }
        client.Disconnect();
    }
    loop.RunUntil([] { return false; }, 200ms);
    EXPECT_EQ(lost, 0);
    EXPECT_EQ(loop.ActiveWatchCount(), 0u);
}

}  // namespace
}  // namespace station::net::test
