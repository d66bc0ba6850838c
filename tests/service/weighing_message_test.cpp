// The messages built from register lines and live states.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "service/weighing_message.h"
#include "tests/core/scoped_env.h"

namespace station {
namespace {

using Json = nlohmann::json;

Json MessageOf(const RegisterEntry& entry) {
    return Json::parse(WeighingMessage(entry, *SplitRegisterLine(entry.line), "st"));
}

TEST(PublishedMessages, AWeighingReadsTheSameFromItsLineAlone) {
    const test::ScopedEnv zone("TZ", "Europe/Warsaw");
    const RegisterEntry entry{{"202607.txt", 44},
                              {"202607.txt", 80},
                              "2026-07-01, 09.05.02\twaga3\t-12\xb3"};  // "ł" in the code page
    const Json message = MessageOf(entry);
    EXPECT_EQ(message["id"], "st/202607/44");
    EXPECT_EQ(message["scale"], 3);
    EXPECT_EQ(message["reading"], "-12ł");
    EXPECT_EQ(message["time"], "2026-07-01T09:05:02+02:00");
    EXPECT_EQ(message["line"], "2026-07-01, 09.05.02\twaga3\t-12ł");

    EXPECT_FALSE(message.contains("unit"));  // kilograms
    EXPECT_EQ(
        Json::parse(WeighingMessage(entry, *SplitRegisterLine(entry.line), "st", "g"))["unit"],
        "g");
    Reading grams = Reading::Weight("1500");
    grams.unit = "g";
    EXPECT_EQ(Json::parse(ScaleStateMessage(true, grams, 0))["unit"], "g");

    EXPECT_EQ(MessageOf({{}, {}, "yesterday\twaga1\t5"})["time"], nullptr)
        << "a weighing whose stamp cannot be read still goes out";
    for (const char* not_a_weighing : {"no tabs", "one\ttab", "a\twaga0\t5", "a\tscale\t5"}) {
        EXPECT_FALSE(SplitRegisterLine(not_a_weighing)) << not_a_weighing;
    }
    EXPECT_EQ(ScaleStateMessage(true, Reading::Weight("5"), 0),
              R"({"connected":true,"reading":"5","motion":null,"range":"ok",)"
              R"("time":"1970-01-01T01:00:00+01:00"})");
    const Json over = Json::parse(ScaleStateMessage(false, Reading::Of(Reading::Kind::kOver), 0));
    EXPECT_EQ(over["range"], "over");
    EXPECT_EQ(over["reading"], "OL");
    EXPECT_EQ(Json::parse(
                  ScaleStateMessage(false, Reading::Of(Reading::Kind::kUnder, false), 0))["motion"],
              false);
    EXPECT_EQ(
        Json::parse(ScaleStateMessage(false, Reading::Of(Reading::Kind::kNoWeight), 0))["range"],
        nullptr);
}

}  // namespace
}  // namespace station
