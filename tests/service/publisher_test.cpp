// Publishing without the window: the register on disk, a real broker and a real collector, on
// the poll loop. Nothing saved is lost or stepped over, whatever the state file or the register
// holds, and nothing that is no weighing goes out.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>

#include "base/poll_loop.h"
#include "common/weighing_chain.h"
#include "core/register/register_line.h"
#include "core/register/register_signer.h"
#include "core/register/weighing_register.h"
#include "protocol/replay_request.h"
#include "service/publisher.h"
#include "tests/core/fakes.h"
#include "tests/support/mqtt_broker.h"

namespace station::test {
namespace {

using Json = nlohmann::json;
using Lines = std::vector<std::string>;
using namespace std::chrono_literals;

const LocalTime kNow{2026, 12, 8, 9, 0, 0, 0};

std::string Line(int month, int day, const std::string& reading) {
    return ComposeRegisterLine({2026, month, day, 10, 0, 0, 0}, ':', 1, reading);
}

class PublisherTest : public ::testing::Test {
protected:
    // A collector of every topic with a session that outlives the broker's restarts, subscribed
    // before anything is published: it has seen a retained probe.
    void Collect() {
        collector_.emplace(broker_, "t/#", "collector");
        ASSERT_TRUE(RunToEnd({"mosquitto_pub", "-h", "127.0.0.1", "-p",
                              std::to_string(broker_.Port()), "-t", "t/probe", "-m", "1", "-r"},
                             out_ / "probe.log"));
        ASSERT_TRUE(RunUntil([&] { return !collector_->Payloads("t/probe").empty(); }));
    }

    void Start() {
        PublishSettings settings;
        settings.broker = "127.0.0.1";
        settings.port = broker_.Port();
        settings.topic = "t";
        settings.client_id = "st";
        publisher_ = std::make_unique<Publisher>(
            loop_, log_, settings, dir_.Path(), kNow,
            [this](const Publisher::Status& status) { status_ = status; });
    }

    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 15s) {
        return loop_.RunUntil(done, limit);
    }

    void Save(const std::string& line) {
        AppendLineToFile(dir_ / "202612.txt", line);
        publisher_->WeighingSaved();
    }

    // The register lines of the weighings collected, as they came.
    Lines Delivered() const {
        Lines lines;
        for (const std::string& payload : collector_->Payloads("/weighing")) {
            lines.push_back(Json::parse(payload)["line"]);
        }
        return lines;
    }

    // Waits until the collector has `count` weighings: the broker acknowledges a message to the
    // station before the collector has written it out.
    bool Collected(std::size_t count) {
        return RunUntil([&] { return Delivered().size() >= count; });
    }

    // Waits until everything in the register was acknowledged and its place stored.
    bool AllDelivered() {
        const std::string end =
            "202612.txt " + std::to_string(std::filesystem::file_size(dir_ / "202612.txt")) + "\n";
        return RunUntil([&] {
            return status_.connected && status_.waiting == 0 &&
                   ReadFile(dir_ / "publikacja.stan") == end;
        });
    }

    Lines Faults(const std::string& part) const {
        Lines faults;
        for (const std::string& line : log_.Lines()) {
            if (line.find(" !! ") != std::string::npos && line.find(part) != std::string::npos) {
                faults.push_back(line);
            }
        }
        return faults;
    }

    TempDir dir_;
    TempDir out_;
    FakeClock clock_;
    TransmissionLog log_{clock_};
    PollLoop loop_;
    MqttBroker broker_;
    std::optional<MqttSubscriber> collector_;
    Publisher::Status status_;
    std::unique_ptr<Publisher> publisher_;
};

struct DamageCase {
    const char* name;
    const char* state;  // "/": a directory in the state file's place
    bool names_december;
};

class DamagedStateTest : public PublisherTest, public ::testing::WithParamInterface<DamageCase> {};

TEST_P(DamagedStateTest, SendsAgainFromWhereItCanBeTrustedNeverFromTheEnd) {
    const Lines october{Line(10, 1, "1")};
    const Lines november{Line(11, 1, "2")};
    const Lines december{Line(12, 1, "3"), Line(12, 2, "4")};
    WriteFile(dir_ / "202610.txt", october[0] + "\r\n");
    WriteFile(dir_ / "202611.txt", november[0] + "\r\n");
    WriteFile(dir_ / "202612.txt", december[0] + "\r\n" + december[1] + "\r\n");
    const std::string state = GetParam().state;
    if (state == "/") {
        std::filesystem::create_directory(dir_ / "publikacja.stan");
    } else {
        WriteFile(dir_ / "publikacja.stan", state);
    }
    Collect();
    Start();
    ASSERT_TRUE(AllDelivered());

    Lines expected = december;
    if (!GetParam().names_december) {
        expected.insert(expected.begin(), november.begin(), november.end());
    }
    ASSERT_TRUE(Collected(expected.size()));
    EXPECT_EQ(Delivered(), expected);
    EXPECT_EQ(Faults("damaged").size(), 1u);
    EXPECT_EQ(status_.damaged_state_kept_as, dir_ / "publikacja.stan.uszkodzony");
    if (state != "/") {
        EXPECT_EQ(ReadFile(dir_ / "publikacja.stan.uszkodzony"), state);
    }
}

const DamageCase kDamageCases[] = {
    {"NoOffset", "202612.txt\n", true}, {"InsideALine", "202612.txt 7\n", true},
    {"Truncated", "", false},           {"Garbage", "\xff\x01 x", false},
    {"ADirectory", "/", false},
};

std::string CaseName(const ::testing::TestParamInfo<DamageCase>& damage) {
    return damage.param.name;
}

INSTANTIATE_TEST_SUITE_P(Cases, DamagedStateTest, ::testing::ValuesIn(kDamageCases), CaseName);

TEST_F(PublisherTest, AMonthFileThatCannotBeReadHaltsDeliveryUntilItCanBe) {
    WriteFile(dir_ / "publikacja.stan", "202610.txt 0\n");
    WriteFile(dir_ / "202610.txt", Line(10, 1, "1") + "\r\n");
    std::filesystem::create_directory(dir_ / "202611.txt");
    WriteFile(dir_ / "202612.txt", Line(12, 1, "3") + "\r\n");
    Collect();
    Start();
    ASSERT_TRUE(RunUntil([&] { return status_.connected && !status_.register_readable; }));
    ASSERT_TRUE(RunUntil([&] { return Delivered().size() == 1; }));
    EXPECT_EQ(Faults("202611.txt").size(), 1u);

    std::filesystem::remove(dir_ / "202611.txt");
    WriteFile(dir_ / "202611.txt", Line(11, 1, "2") + "\r\n");
    ASSERT_TRUE(AllDelivered());
    ASSERT_TRUE(Collected(3));
    EXPECT_EQ(Delivered(), (Lines{Line(10, 1, "1"), Line(11, 1, "2"), Line(12, 1, "3")}));
    EXPECT_TRUE(status_.register_readable);
}

TEST_F(PublisherTest, ASessionLostWithWeighingsInFlightSendsThemAgain) {
    Collect();
    Start();
    ASSERT_TRUE(RunUntil([&] { return status_.connected; }));
    Lines saved;
    for (int i = 0; i < 30; ++i) {
        saved.push_back(Line(12, 1, std::to_string(i)));
        Save(saved.back());
    }
    broker_.Stop();
    ASSERT_TRUE(RunUntil([&] { return !status_.connected; }));
    EXPECT_GE(status_.waiting, saved.size() - DeliveryCursor::kWindow)
        << "what was never sent or acknowledged still waits";
    ASSERT_TRUE(broker_.Start());
    ASSERT_TRUE(AllDelivered());

    // At least once, in register order: the first arrival of each line keeps the order saved.
    const auto first_arrivals = [&] {
        Lines first;
        for (const std::string& line : Delivered()) {
            if (std::find(first.begin(), first.end(), line) == first.end()) {
                first.push_back(line);
            }
        }
        return first;
    };
    ASSERT_TRUE(RunUntil([&] { return first_arrivals().size() >= saved.size(); }));
    EXPECT_EQ(first_arrivals(), saved);
}

TEST_F(PublisherTest, ALineThatIsNoWeighingIsLoggedAndPassedOver) {
    WriteFile(dir_ / "publikacja.stan", " 0\n");
    WriteFile(dir_ / "202612.txt",
              Line(12, 1, "1") + "\r\ngarbage\r\nx\twaga0\ty\r\n" + Line(12, 2, "2") + "\r\n");
    Collect();
    Start();
    ASSERT_TRUE(AllDelivered());
    ASSERT_TRUE(Collected(2));
    EXPECT_EQ(Delivered(), (Lines{Line(12, 1, "1"), Line(12, 2, "2")}));
    EXPECT_EQ(Faults("not a weighing").size(), 2u);
    for (const std::string& line : collector_->Lines()) {
        EXPECT_EQ(line.find("waga0"), std::string::npos) << line;
    }
}

TEST_F(PublisherTest, AnEndMarkCutByASaveDoesNotShiftWhatIsSent) {
    const std::string first = Line(12, 1, "1");
    WriteFile(dir_ / "202612.txt", first + "\r\n\x1a");
    Collect();
    Start();  // the first start: what was saved before stays out
    ASSERT_TRUE(RunUntil([&] { return status_.connected; }));
    Save(Line(12, 2, "2"));
    ASSERT_TRUE(AllDelivered());
    ASSERT_TRUE(Collected(1));
    ASSERT_EQ(Delivered(), Lines{Line(12, 2, "2")});
    EXPECT_EQ(Json::parse(collector_->Payloads("/weighing")[0])["id"],
              "st/202612/" + std::to_string(first.size() + 2));
}

// A signed line goes out with its seal: the link before it, its own, its signature and the key,
// which chain and verify as the register's evidence does; the entry of a save that failed at the
// same place signs nothing.
TEST_F(PublisherTest, ASignedLineGoesOutWithItsSeal) {
    WriteFile(dir_ / "publikacja.stan", " 0\n");
    const KeyPair key = NewKeyPair();
    RegisterSigner signer(dir_.Path(), key);
    test::FakeClock clock;
    clock.now = {2026, 12, 3, 10, 0, 0, 0};
    WeighingRegister weighings(clock, ':', dir_.Path());
    weighings.SignWith(&signer);
    weighings.SaveWeighing(1, "10");
    signer.BeforeLine(*Month::Of(2026, 12), std::filesystem::file_size(dir_ / "202612.txt"),
                      Line(12, 9, "999"));  // and the station stopped
    weighings.SaveWeighing(2, "20");
    // A new key, announced by the old one: its lines carry the old key's word for it.
    const KeyPair renewed = NewKeyPair();
    const Signature word = SignNewKey(key.secret_key, renewed.public_key);
    RegisterSigner renewed_signer(dir_.Path(), renewed, KeyAnnouncement{key.public_key, word});
    weighings.SignWith(&renewed_signer);
    weighings.SaveWeighing(3, "30");
    Collect();
    Start();
    ASSERT_TRUE(AllDelivered());
    ASSERT_TRUE(Collected(3));
    ChainLink link{};
    for (const std::string& payload : collector_->Payloads("/weighing")) {
        const Json message = Json::parse(payload);
        const std::string id = message["id"];
        const bool old = message["scale"] != 3;
        EXPECT_EQ(message["previous"], Hex(link)) << payload;
        EXPECT_EQ(message["key"], Hex(old ? key.public_key : renewed.public_key)) << payload;
        EXPECT_EQ(message.contains("key_word"), !old) << payload;
        if (!old) {
            EXPECT_EQ(message["key_word"], Hex(word));
        }
        link = NextLink(link, *Month::Of(2026, 12), std::stoull(id.substr(id.rfind('/') + 1)),
                        message["line"].get<std::string>());
        EXPECT_EQ(message["link"], Hex(link)) << payload;
        EXPECT_TRUE(LinkVerifies(old ? key.public_key : renewed.public_key, link,
                                 *FromHex<64>(message["signature"].get<std::string>())));
    }
}

// A collector's replay request, retained on the station's topic: each token honoured once,
// whatever the station's restarts and the requests between, and at most one replay a minute;
// one that cannot be read is logged and changes nothing.
TEST_F(PublisherTest, AReplayRequestSendsAgainFromItsMonthOnceAndABadOneIsIgnored) {
    const Lines register_lines{Line(10, 1, "1"), Line(11, 1, "2"), Line(12, 1, "3")};
    for (int month = 10; month <= 12; ++month) {
        AppendLineToFile(dir_ / ("2026" + std::to_string(month) + ".txt"),
                         register_lines[static_cast<std::size_t>(month - 10)]);
    }
    WriteFile(dir_ / "publikacja.stan",
              "202612.txt " + std::to_string(register_lines[2].size() + 2) + "\n");
    Collect();
    const auto request = [&](const std::string& payload) {
        ASSERT_TRUE(
            RunToEnd({"mosquitto_pub", "-h", "127.0.0.1", "-p", std::to_string(broker_.Port()),
                      "-t", "t/replay", "-m", payload, "-r", "-q", "1"},
                     out_ / "request.log"));
    };
    request(R"({"request":"r1","from":"202611"})");
    Start();
    ASSERT_TRUE(Collected(2));
    ASSERT_TRUE(AllDelivered());
    EXPECT_EQ(Delivered(), (Lines{register_lines[1], register_lines[2]}));

    publisher_.reset();
    Start();  // the retained request comes again, and is not honoured again
    ASSERT_TRUE(RunUntil([&] { return status_.connected; }));
    request(R"({"request":"r3","from":"202612"})");
    ASSERT_TRUE(Collected(3));
    request(R"({"request":"r1","from":"202611"})");  // an older token, sent again
    request(R"({"request":"r2","from":"2026-11"})");
    ASSERT_TRUE(RunUntil([&] { return !Faults("replay request not read").empty(); }));
    EXPECT_EQ(Delivered().size(), 3u);
    EXPECT_EQ(status_.waiting, 0u);

    request(R"({"request":"r4","from":"202610"})");  // within a minute of r3: held, not lost
    loop_.RunUntil([] { return false; }, 300ms);
    EXPECT_EQ(Delivered().size(), 3u);
    loop_.Advance(protocol::kReplayInterval);
    ASSERT_TRUE(Collected(6));
}

// A request for a place in a month: one inside a line goes back to the line's start, one past the
// month's end to its last line's end, one in a month the register never had to its start; a line
// that is no weighing lies between two weighings without looking like a gap.
TEST_F(PublisherTest, AReplayFromAPlaceStartsAtTheNearestLineStartAtOrBeforeIt) {
    const std::string first = Line(11, 1, "1");
    const std::string second = Line(11, 2, "2");
    AppendLineToFile(dir_ / "202611.txt", first);
    AppendLineToFile(dir_ / "202611.txt", "no weighing");
    AppendLineToFile(dir_ / "202611.txt", second);
    AppendLineToFile(dir_ / "202612.txt", Line(12, 1, "3"));
    const std::size_t second_at = first.size() + 2 + std::string("no weighing\r\n").size();
    WriteFile(dir_ / "publikacja.stan", "202612.txt " + std::to_string(first.size() + 2) + "\n");
    Collect();
    Start();
    ASSERT_TRUE(AllDelivered());
    const std::string end = std::to_string(second_at + second.size() + 2);
    const struct {
        std::string payload;
        std::size_t sent;    // weighings the replay sends
        std::string logged;  // where it said it starts instead
    } requests[] = {
        {R"({"request":"r1","from":"202611","at":)" + std::to_string(second_at + 3) + "}", 2,
         "offset " + std::to_string(second_at + 3) + ", no line's start: from offset " +
             std::to_string(second_at)},
        {R"({"request":"r2","from":"202611","at":100000})", 1,
         "offset 100000, no line's start: from offset " + end},
        {R"({"request":"r3","from":"202609","at":5})", 3,
         "offset 5, no line's start: from the month's start"},
    };
    std::size_t collected = 0;
    for (const auto& request : requests) {
        SCOPED_TRACE(request.payload);
        ASSERT_TRUE(
            RunToEnd({"mosquitto_pub", "-h", "127.0.0.1", "-p", std::to_string(broker_.Port()),
                      "-t", "t/replay", "-m", request.payload, "-r", "-q", "1"},
                     out_ / "request.log"));
        collected += request.sent;
        ASSERT_TRUE(Collected(collected));
        loop_.RunUntil([] { return false; }, 200ms);
        EXPECT_EQ(Delivered().size(), collected);
        const Lines lines = log_.Lines();
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.find(request.logged) != std::string::npos;
        }));
        loop_.Advance(protocol::kReplayInterval);
    }
    const Json bridged = Json::parse(collector_->Payloads("/weighing")[collected - 2]);
    EXPECT_EQ(bridged["line"], second);
    EXPECT_EQ(bridged["after"], "202611/" + std::to_string(first.size() + 2));
}

// A save while a long replay runs goes out beside it, never behind all of it; a second request
// while the replay runs sends that save again too, since whoever asks may have lost it.
TEST_F(PublisherTest, ASaveDuringAReplayGoesOutBesideItAndALaterRequestSendsItAgain) {
    std::string month;
    constexpr std::size_t kReplayed = 2000;
    for (std::size_t i = 0; i < kReplayed; ++i) {
        month += Line(12, 1, std::to_string(i)) + "\r\n";
    }
    WriteFile(dir_ / "202612.txt", month);
    WriteFile(dir_ / "publikacja.stan", "202612.txt " + std::to_string(month.size()) + "\n");
    Collect();
    Start();
    ASSERT_TRUE(RunUntil([&] { return status_.connected; }));
    const auto request = [&](const std::string& token) {
        ASSERT_TRUE(RunToEnd(
            {"mosquitto_pub", "-h", "127.0.0.1", "-p", std::to_string(broker_.Port()), "-t",
             "t/replay", "-m", R"({"request":")" + token + R"(","from":"202612"})", "-q", "1"},
            out_ / "request.log"));
    };
    request("r1");
    // Saved once the replay is under way at the station: where the collector stands by then
    // depends on how busy the machine is, not on the station.
    ASSERT_TRUE(RunUntil(
        [&] {
            const Lines lines = log_.Lines();
            return std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
                return line.find("replay asked from 202612 (request r1)") != std::string::npos;
            });
        },
        60s));
    const std::string saved = Line(12, 2, "nowa");
    Save(saved);
    std::size_t came = 0;
    ASSERT_TRUE(RunUntil(
        [&] {
            const Lines payloads = collector_->Payloads("/weighing");
            for (came = 0; came < payloads.size(); ++came) {
                if (payloads[came].find("nowa") != std::string::npos) {
                    return true;
                }
            }
            return false;
        },
        60s));
    EXPECT_LT(came, 1000u) << "the save came behind the replay";
    loop_.Advance(protocol::kReplayInterval);
    request("r2");
    // The second replay takes over the first and ends with the save. How many weighings come
    // before it depends on how far the first had gone, so the save's second coming is the end.
    const auto saved_count = [&] {
        const Lines delivered = Delivered();
        return std::count(delivered.begin(), delivered.end(), saved);
    };
    ASSERT_TRUE(RunUntil([&] { return saved_count() >= 2; }, 60s));
    ASSERT_TRUE(AllDelivered());
    EXPECT_EQ(saved_count(), 2);
    const Lines delivered = Delivered();
    EXPECT_EQ(delivered[delivered.size() - kReplayed - 1], Line(12, 1, "0"))
        << "the second replay sends the whole month";
}

TEST_F(PublisherTest, StatesAreThinnedPerScaleTheLatestWinning) {
    Collect();
    Start();
    ASSERT_TRUE(RunUntil([&] { return !collector_->Payloads("waga1/state").empty(); }));
    for (int i = 1; i <= 50; ++i) {
        publisher_->ReadingShown(1, Reading::Weight(std::to_string(i)));
    }
    publisher_->LampShown(2, Lamp::kGreen);
    ASSERT_TRUE(RunUntil([&] {
        const Lines states = collector_->Payloads("waga1/state");
        return Json::parse(states.back())["reading"] == "50";
    }));
    EXPECT_LE(collector_->Payloads("waga1/state").size(), 3u)
        << "the first state, perhaps the first change, and the last";
    ASSERT_TRUE(RunUntil([&] {
        return Json::parse(collector_->Payloads("waga2/state").back())["connected"] == true;
    }));
}

TEST_F(PublisherTest, AnEndedStationLeavesEveryScaleNotConnectedBeforeItIsOffline) {
    Collect();
    Start();
    for (int scale = 1; IsScaleNumber(scale); ++scale) {
        publisher_->LampShown(scale, Lamp::kGreen);
    }
    ASSERT_TRUE(RunUntil([&] {
        const Lines states = collector_->Payloads("waga4/state");
        return !states.empty() && Json::parse(states.back())["connected"] == true;
    }));
    publisher_.reset();
    ASSERT_TRUE(RunUntil([&] { return collector_->Payloads("t/status").back() == "offline"; }));
    Lines last = collector_->Lines();

    last.erase(last.begin(), last.end() - 5);
    for (int scale = 1; IsScaleNumber(scale); ++scale) {
        const std::string& line = last[static_cast<std::size_t>(scale - 1)];
        SCOPED_TRACE(line);
        const std::string topic = "t/waga" + std::to_string(scale) + "/state ";
        ASSERT_EQ(line.substr(0, 2 + topic.size()), "0 " + topic);
        EXPECT_EQ(Json::parse(line.substr(2 + topic.size()))["connected"], false);
    }
    EXPECT_EQ(last[4], "0 t/status offline");
}

}  // namespace
}  // namespace station::test
