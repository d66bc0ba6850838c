// What the station writes, read by the ledger, and what the ledger writes, read by the station:
// the bytes on the broker pinned, so that stations and ledgers of different versions agree.
#include <gtest/gtest.h>

#include <variant>

#include "core/register/register_evidence.h"
#include "ledger/store/ledger_message.h"
#include "protocol/replay_request.h"
#include "protocol/topics.h"
#include "protocol/weighing_id.h"
#include "service/weighing_message.h"
#include "tests/core/scoped_env.h"

namespace station {
namespace {

constexpr const char* kPrefix = "tarvelio";
constexpr const char* kReceived = "2026-07-02T10:00:00+02:00";

Reading WithUnit(Reading reading, std::string unit) {
    reading.unit = std::move(unit);
    return reading;
}

struct StateCase {
    const char* name;
    Reading reading;
    bool connected;
    const char* bytes;
    std::optional<bool> motion;
    std::optional<std::string> range;
};

class RoundTrip : public ::testing::Test {
protected:
    // The station's topic for the room "Hala ł", as the ledger reads it.
    static ledger::LedgerMessage Read(protocol::TopicKind kind, int scale,
                                      const std::string& payload) {
        const std::string topic = protocol::TopicOf("tarvelio/Hala ł", kind, scale);
        return ledger::ReadLedgerMessage(kPrefix, topic, payload, kReceived);
    }

    test::ScopedEnv zone_{"TZ", "Europe/Warsaw"};
};

TEST_F(RoundTrip, AWeighingAsTheStationWritesItIsTheLedgersRow) {
    const RegisterEntry entry{{Month::Of(2026, 7), 44},
                              {Month::Of(2026, 7), 80},
                              "2026-07-01, 09.05.02\twaga3\t-12,5\xb3"};  // "ł" in the code page
    const std::string written = WeighingMessage(entry, *SplitRegisterLine(entry.line), "st/a");
    EXPECT_EQ(
        written,
        R"({"id":"st/a/202607/44","scale":3,"reading":"-12,5ł",)"
        R"("time":"2026-07-01T09:05:02+02:00","line":"2026-07-01, 09.05.02\twaga3\t-12,5ł"})");
    ledger::LedgerMessage read = Read(protocol::TopicKind::kWeighing, 3, written);
    const auto* row = std::get_if<ledger::WeighingRow>(&read);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->station, "Hala ł");
    EXPECT_EQ(row->id, "st/a/202607/44");
    EXPECT_EQ(row->client_id, "st/a");
    EXPECT_EQ(row->month, 202607);
    EXPECT_EQ(row->reading, "-12,5ł");
    EXPECT_EQ(row->weight, std::nullopt) << "a unit glued to the number is no plain number";
    EXPECT_EQ(row->time, "2026-07-01T09:05:02+02:00");
    EXPECT_EQ(row->line, "2026-07-01, 09.05.02\twaga3\t-12,5ł");

    // Grams, and a stamp that cannot be read: "unit" written, "time" null, both read back.
    const RegisterEntry grams{
        {Month::Of(2026, 7), 0}, {Month::Of(2026, 7), 20}, "yesterday\twaga1\t1500"};
    const std::string in_grams = WeighingMessage(grams, *SplitRegisterLine(grams.line), "st", "g");
    EXPECT_EQ(in_grams, R"({"id":"st/202607/0","scale":1,"reading":"1500","unit":"g",)"
                        R"("time":null,"line":"yesterday\twaga1\t1500"})");
    read = Read(protocol::TopicKind::kWeighing, 1, in_grams);
    row = std::get_if<ledger::WeighingRow>(&read);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->time, std::nullopt);
    EXPECT_EQ(row->weight, 1500);

    // Where the line lies among the station's weighing lines: the place after the previous one
    // (the register's start, before any month, when nothing was) and where the line ends.
    const std::string placed = WeighingMessage(grams, *SplitRegisterLine(grams.line), "st", "",
                                               RegisterPosition{Month::Of(2026, 6), 90});
    EXPECT_TRUE(placed.ends_with(R"(,"after":"202606/90","next":20})")) << placed;
    read = Read(protocol::TopicKind::kWeighing, 1, placed);
    row = std::get_if<ledger::WeighingRow>(&read);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->after->Text(), "202606/90");
    EXPECT_EQ(row->next, 20u);
    EXPECT_TRUE(WeighingMessage(grams, *SplitRegisterLine(grams.line), "st", "", RegisterPosition{})
                    .ends_with(R"(,"after":"100001/0","next":20})"));
    for (const char* fields :
         {R"("after":"202606/90")", R"("next":20)", R"("after":"202606/090","next":20)",
          R"("after":"202606/9","next":-1)", R"("after":202606,"next":20)"}) {
        std::string bad = placed.substr(0, placed.find(R"(,"after")")) + "," + fields + "}";
        EXPECT_TRUE(
            std::holds_alternative<ledger::Rejection>(Read(protocol::TopicKind::kWeighing, 1, bad)))
            << bad;
    }

    // A signed line's seal, as hex, after the rest; all four or none, exact hex.
    LineEvidence evidence{{}, {0, {}, {}, grams.line}, {}};
    evidence.previous.fill(0x12);
    evidence.entry.link.fill(0xab);
    evidence.entry.signature.fill(0xcd);
    evidence.key.fill(0xef);
    const std::string signed_one =
        WeighingMessage(grams, *SplitRegisterLine(grams.line), "st", "", std::nullopt, evidence);
    const std::string seal = R"("previous":")" + Hex(evidence.previous) + R"(","link":")" +
                             Hex(evidence.entry.link) + R"(","signature":")" +
                             Hex(evidence.entry.signature) + R"(","key":")" + Hex(evidence.key) +
                             R"(")";
    EXPECT_TRUE(signed_one.ends_with("," + seal + "}")) << signed_one;
    EXPECT_TRUE(std::holds_alternative<ledger::WeighingRow>(
        Read(protocol::TopicKind::kWeighing, 1, signed_one)));
    const std::string unsigned_part = signed_one.substr(0, signed_one.find(R"(,"previous")"));
    for (const std::string& fields :
         {seal.substr(0, seal.find(R"(,"key")")), seal.substr(seal.find(R"("link")")),
          seal.substr(0, seal.find(R"(,"key")")) + R"(,"key":")" + std::string(63, 'e') + R"(")",
          seal.substr(0, seal.find(R"(,"key")")) + R"(,"key":")" + std::string(64, 'E') + R"(")",
          seal.substr(0, seal.find(R"(,"key")")) + R"(,"key":7)"}) {
        std::string bad = unsigned_part;
        bad.append(",").append(fields).append("}");
        EXPECT_TRUE(
            std::holds_alternative<ledger::Rejection>(Read(protocol::TopicKind::kWeighing, 1, bad)))
            << bad;
    }

    for (const char* not_a_weighing : {"no tabs", "one\ttab", "a\twaga0\t5", "a\tscale\t5"}) {
        EXPECT_FALSE(SplitRegisterLine(not_a_weighing)) << not_a_weighing;
    }
}

TEST_F(RoundTrip, AScaleStateAsTheStationWritesItIsTheLedgersRow) {
    const StateCase cases[] = {
        {"weight", Reading::Weight("5"), true,
         R"({"connected":true,"reading":"5","motion":null,"range":"ok",)"
         R"("time":"1970-01-01T01:00:00+01:00"})",
         std::nullopt, "ok"},
        {"grams", WithUnit(Reading::Weight("1500"), "g"), true,
         R"({"connected":true,"reading":"1500","unit":"g","motion":null,"range":"ok",)"
         R"("time":"1970-01-01T01:00:00+01:00"})",
         std::nullopt, "ok"},
        {"over", Reading::Of(Reading::Kind::kOver), false,
         R"({"connected":false,"reading":"OL","motion":null,"range":"over",)"
         R"("time":"1970-01-01T01:00:00+01:00"})",
         std::nullopt, "over"},
        {"under, still", Reading::Of(Reading::Kind::kUnder, false), false,
         R"({"connected":false,"reading":"UL","motion":false,"range":"under",)"
         R"("time":"1970-01-01T01:00:00+01:00"})",
         false, "under"},
        {"no weight", Reading::Of(Reading::Kind::kNoWeight), false,
         R"({"connected":false,"reading":"#err","motion":null,"range":null,)"
         R"("time":"1970-01-01T01:00:00+01:00"})",
         std::nullopt, std::nullopt},
    };
    for (const StateCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string written = ScaleStateMessage(c.connected, c.reading, 0);
        EXPECT_EQ(written, c.bytes);
        const ledger::LedgerMessage read = Read(protocol::TopicKind::kState, 2, written);
        const auto* row = std::get_if<ledger::ScaleStateRow>(&read);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->scale, 2);
        EXPECT_EQ(row->connected, c.connected);
        EXPECT_EQ(row->reading, c.reading.Text());
        EXPECT_EQ(row->motion, c.motion);
        EXPECT_EQ(row->range, c.range);
        EXPECT_EQ(row->time, "1970-01-01T01:00:00+01:00");
    }
}

TEST_F(RoundTrip, AReplayRequestAsTheLedgerWritesItIsTheStationsAndIdsReadBackAsWritten) {
    const std::string written = protocol::WriteReplayRequest({"ledger/1f", *Month::Read("202611")});
    EXPECT_EQ(written, R"({"request":"ledger/1f","from":"202611"})");
    const auto read = protocol::ReadReplayRequest(written);
    ASSERT_TRUE(std::holds_alternative<protocol::ReplayRequest>(read));
    EXPECT_EQ(std::get<protocol::ReplayRequest>(read).token, "ledger/1f");
    EXPECT_EQ(std::get<protocol::ReplayRequest>(read).from.FileName(), "202611.txt");
    // A place in the month: "at", which a station that does not know it passes over.
    const std::string at = protocol::WriteReplayRequest({"t", *Month::Read("202611"), 88});
    EXPECT_EQ(at, R"({"request":"t","from":"202611","at":88})");
    EXPECT_EQ(std::get<protocol::ReplayRequest>(protocol::ReadReplayRequest(at)).at, 88u);
    EXPECT_TRUE(std::holds_alternative<protocol::MessageProblem>(
        protocol::ReadReplayRequest(R"({"request":"t","from":"202611","at":-1})")));
    EXPECT_EQ(protocol::TopicOf("tarvelio/Hala ł", protocol::TopicKind::kReplay),
              "tarvelio/Hala ł/replay");
    EXPECT_EQ(protocol::EveryStationsTopic(kPrefix, protocol::TopicKind::kWeighing),
              "tarvelio/+/+/weighing");

    // Read as written or not at all: a second text for one weighing would be a second weighing.
    for (const char* id : {"a/202612/0", "a/b/100001/18446744073", "a//999912/7"}) {
        const auto read_id = protocol::WeighingId::Read(id);
        ASSERT_TRUE(read_id) << id;
        EXPECT_EQ(read_id->Text(), id);
    }
    for (const char* id : {"/202612/1", "a/202612/01", "a/202613/1", "a/099912/1", "a/202612/",
                           "a/202612/12345678901234567890", "a/20261/1", "a/202612/-1"}) {
        EXPECT_FALSE(protocol::WeighingId::Read(id)) << id;
    }
    EXPECT_EQ(Month::Read("200001")->Previous().Text(), "199912");
    EXPECT_EQ(Month::Read("199912")->Next().Text(), "200001");
    EXPECT_FALSE(Month::OfFileName("202600.txt"));
}

}  // namespace
}  // namespace station
