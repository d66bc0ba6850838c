// Sessions through a real broker that only receive, with and without acknowledging, and one
// that publishes for a while and then goes quiet: each is held for three keep-alive periods, and
// the broker hears from each at least once a keep-alive (it drops a client at one and a half).
#include <map>
#include <sstream>

#include "net/broker_client.h"
#include "tests/net/net_fixtures.h"
#include "tests/support/mqtt_broker.h"

namespace station::net::test {
namespace {

// The longest silence of each client, by the broker's log of the packets it received.
std::map<std::string, long> LongestSilences(const std::string& log) {
    std::map<std::string, long> last_heard;
    std::map<std::string, long> longest;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t from = line.find(" from ");
        if (line.find(": Received ") == std::string::npos || from == std::string::npos) {
            continue;
        }
        const long time = std::stol(line);
        const std::string client = line.substr(from + 6, line.find(' ', from + 6) - from - 6);
        if (last_heard.contains(client)) {
            longest[client] = std::max(longest[client], time - last_heard[client]);
        }
        last_heard[client] = time;
    }
    return longest;
}

TEST(BrokerKeepAlive, QuietAfterAFlowOrOnlyReceivingKeepsTheSession) {
    station::test::MqttBroker broker(
        "allow_anonymous true\nlog_type all\nlog_timestamp_format %s\n");
    PollLoop loop;
    constexpr std::chrono::seconds kKeepAlive{5};
    std::vector<std::string> lost;
    int received = 0;
    std::vector<std::unique_ptr<BrokerClient>> clients;
    for (const char* id : {"publisher", "receiver-qos0", "receiver-qos1"}) {
        auto& client = *clients.emplace_back(std::make_unique<BrokerClient>(loop));
        client.on_lost = [&lost, id](const std::string& reason) {
            lost.push_back(std::string(id) + ": " + reason);
        };
        client.on_message = [&](const std::string&, const std::string&, bool) { ++received; };
        BrokerOptions options;
        options.host = "127.0.0.1";
        options.port = broker.Port();
        options.client_id = id;
        options.keep_alive = kKeepAlive;
        client.Connect(options);
    }
    ASSERT_TRUE(loop.RunUntil(
        [&] {
            return std::all_of(clients.begin(), clients.end(),
                               [](const auto& client) { return client->Connected(); });
        },
        5s));
    ASSERT_TRUE(clients[1]->Subscribe("t/0", 0));
    ASSERT_TRUE(clients[2]->Subscribe("t/1", 1));
    loop.RunUntil([] { return false; }, 200ms);

    // The flow outlasts the first keep-alive, so the acknowledgements are all the receiver
    // wrote when the library's ping falls due; then nothing but keep-alive for two periods.
    const auto flow_end = std::chrono::steady_clock::now() + kKeepAlive + 1s;
    for (int i = 0; std::chrono::steady_clock::now() < flow_end; ++i) {
        clients[0]->Publish("t/" + std::to_string(i % 2), "x", i % 2, false);
        loop.RunUntil([] { return false; }, 100ms);
    }
    loop.RunUntil([] { return false; }, 2 * kKeepAlive + 2s);

    EXPECT_EQ(lost, std::vector<std::string>{});
    EXPECT_GT(received, 40);
    const auto silences = LongestSilences(broker.Log());
    ASSERT_EQ(silences.size(), 3u) << broker.Log();
    for (const auto& [client, seconds] : silences) {
        // A second more for the log's whole seconds, one for a loaded machine; the broker drops
        // at 7.5 s, and a ping a whole keep-alive late leaves 8 or more.
        EXPECT_LE(seconds, kKeepAlive.count() + 2) << client;
    }
}

}  // namespace
}  // namespace station::net::test
