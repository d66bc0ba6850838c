// The page's answers from rows, without a database or a server.
#include <gtest/gtest.h>

#include <stdexcept>

#include "ledger/page/page_shapes.h"
#include "ledger/store/ledger_health.h"

namespace station::ledger {
namespace {

StoredWeighing Weighing(std::optional<std::string> weight, std::string line = "l") {
    return {
        "st/202612/5",  "Hala ł", 2, "12.5", std::move(weight), "kg", "2026-12-09T08:00:00+01:00",
        std::move(line)};
}

TEST(PageShapes, ViewsAndExportsWriteWhatTheRowsHold) {
    const DayQuery query{{2026, 12, 9}, "", 0, 1};
    std::vector<StoredWeighing> rows(kPageRows + 1, Weighing("12.5"));
    rows.front().time.reset();
    const std::string day = DayViewJson(
        query, rows, {{"Hala ł", 2, "g", 3, 37.5}, {"B", 1, "kg", 1, {}}}, {{"Hala ł", 8, 3}});
    EXPECT_TRUE(day.starts_with(
        R"({"day":"2026-12-09","page":1,"more":true,"rows":[)"
        R"({"id":"st/202612/5","station":"Hala ł","scale":2,)"
        R"("reading":"12.5","weight":12.5,"unit":"kg","time":null,"disputed":false},)"))
        << day.substr(0, 200);
    EXPECT_TRUE(day.ends_with(R"(],"totals":[{"station":"Hala ł","scale":2,"unit":"g","count":3,)"
                              R"("sum":37.5},{"station":"B","scale":1,"unit":"kg","count":1,)"
                              R"("sum":null}],)"
                              R"("hours":[{"station":"Hala ł","hour":8,"count":3}]})"))
        << day.substr(day.size() - 200);
    EXPECT_EQ(DayViewJson(query, {}, {}, {}),
              R"({"day":"2026-12-09","page":1,"more":false,"rows":[],"totals":[],"hours":[]})");

    EXPECT_EQ(StationsJson({{"A", true, "2026-12-09T08:00:00Z", 2}},
                           {{"B", "1", true, "5", std::nullopt, "ok", "t"}}),
              R"({"A":{"online":true,"since":"2026-12-09T08:00:00Z","disputed":2,"scales":{}},)"
              R"("B":{"online":false,"since":null,"disputed":0,"scales":)"
              R"({"1":{"connected":true,"reading":"5","motion":null,"range":"ok","unit":"t"}}}})")
        << "a room heard of only through a scale is offline";
    EXPECT_EQ(
        DailyJson({{2026, 11, 10}, {2026, 12, 9}, "A", 0}, {{"A", "2026-12-09", "lb", 2, 3.5}}),
        R"({"from":"2026-11-10","to":"2026-12-09",)"
        R"("days":[{"station":"A","day":"2026-12-09","unit":"lb","count":2,"sum":3.5}]})");
    EXPECT_EQ(StateEventJson({"A\xff", 3, true, "OL", "g", false, "over", "t", "r"}),
              "{\"kind\":\"state\",\"station\":\"A\xEF\xBF\xBD\",\"scale\":3,\"connected\":true,"
              "\"reading\":\"OL\",\"motion\":false,\"range\":\"over\",\"unit\":\"g\"}")
        << "text that is no UTF-8 is replaced, never a failed answer";

    // The CSV: quoting, the decimal comma, the date and time apart, and no field a formula.
    struct CsvCase {
        StoredWeighing row;
        const char* written;
    };
    const CsvCase csv_cases[] = {
        {Weighing("-0.25", "a;b \"c\"\r\n"),
         "st/202612/5;Hala ł;2;2026-12-09;08:00:00;12,5;-0,25;kg;\"a;b \"\"c\"\"\r\n\"\r\n"},
        {{"i", "=HYPERLINK(\"x\")", 1, "-12", "-12", "@t", "2026-12-09", "\tq,r"},
         "i;\"'=HYPERLINK(\"\"x\"\")\";1;2026-12-09;;-12;-12;'@t;\"'\tq,r\"\r\n"},
        {{"i", "+1", 1, "#err", "1", "-", {}, "-1+1"}, "i;'+1;1;;;#err;1;'-;'-1+1\r\n"},
        // no weight, no unit
        {{"i", "2026-12-09\twaga1", 1, "- - - - -", {}, "kg", "2026-12-09T23:59:59Z", "\r"},
         "i;\"2026-12-09\twaga1\";1;2026-12-09;23:59:59;'- - - - -;;;\"'\r\"\r\n"},
    };
    for (const CsvCase& c : csv_cases) {
        std::string csv;
        AppendCsvRow(csv, c.row, false);
        EXPECT_EQ(csv, c.written);
    }
    std::string json;
    AppendJsonRow(json, Weighing(std::nullopt), true, false);
    AppendJsonRow(json, Weighing("1"), false, false);
    EXPECT_EQ(json.find(R"("weight":null)"), json.rfind(R"("weight":null)"));
    EXPECT_NE(json.find(R"(},{"id")"), std::string::npos);
    EXPECT_THROW(AppendJsonRow(json, Weighing("kg"), false, false), std::invalid_argument)
        << "a weight that is no number is the page's error, not a wrong answer";

    // A plant's counts pass a million: written exactly, as are fractions.
    LedgerHealth health;
    health.weighings_stored = 3000001;
    health.write_seconds = 0.1;
    const std::string metrics = HealthMetrics(health, 0);
    EXPECT_NE(metrics.find("\ntarvelio_ledger_weighings_stored_total 3000001\n"),
              std::string::npos);
    EXPECT_NE(metrics.find("\ntarvelio_ledger_write_seconds_sum 0.1\n"), std::string::npos);
}

}  // namespace
}  // namespace station::ledger
