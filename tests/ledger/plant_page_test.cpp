// The plant page's HTTP side with a real client: hostile and bad requests get their status and a
// Polish reason, answers are bounded, and a page away from loopback wants its password.
#include <gtest/gtest.h>
#include <httplib.h>

#include <nlohmann/json.hpp>

#include <filesystem>

#include "ledger/ledger_settings.h"
#include "ledger/page/plant_page.h"
#include "ledger/store/ledger_tables.h"
#include "ledger/store/open_database.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace station::test {
namespace {

class PlantPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto database = ledger::OpenDatabase(Url(), "");
        ledger::LedgerTables tables(*database);
        ledger::Batch batch;
        batch.weighings.push_back({"c/202612/0", "<b>room</b>", "c", 202612, 1, "12,5", 12.5,
                                   "2026-12-08T09:00:00+01:00", "a;\"b\"", "now", "t"});
        tables.Write(batch);
    }

    std::string Url() const { return "sqlite:" + dir_ / "ledger.sqlite"; }

    ledger::PageSettings Settings() const {
        ledger::PageSettings settings;
        settings.port = 0;
        settings.files = PAGE_FILES;
        return settings;
    }

    TempDir dir_;
};

TEST_F(PlantPageTest, EveryBadRequestGetsItsStatusAndReason) {
    const ledger::PlantPage page(Settings(), Url(), "");
    httplib::Client client("127.0.0.1", page.Port());
    const struct {
        std::string path;
        int status;
        const char* body;  // the start of the answer
    } cases[] = {
        {"/api/day?day=2026-12-08", 200, "{\"day\":\"2026-12-08\""},
        {"/api/day?day=2026-02-30", 400, "Zła data"},
        {"/api/day?day=26-12-08", 400, "Zła data"},
        {"/api/day?day=2026-12-08%00", 400, "Zła data"},
        {"/api/day?scale=5", 400, "Zły numer wagi"},
        {"/api/day?scale=-1", 400, "Zły numer wagi"},
        {"/api/day?page=10001", 400, "Zły numer strony"},
        {"/api/day?station=" + std::string(201, 'x'), 400, "Zła nazwa stanowiska"},
        {"/api/day?station=%0Aa", 400, "Zła nazwa stanowiska"},
        {"/api/day?station=%ff%fe", 400, "Zła nazwa stanowiska"},  // no UTF-8: no room's name
        {"/api/day?station=nikt", 400, "Nie ma takiego stanowiska"},
        {"/api/day?sort=wiek", 400, "Zły porządek"},
        {"/api/day?sort=time&order=up", 400, "Zły kierunek porządku"},
        {"/api/day?day=2026-12-08&station=%3Cb%3Eroom%3C%2Fb%3E", 200, "{\"day\":\"2026-12-08\""},
        {"/api/daily?day=x", 400, "Zła data"},
        {"/api/range?from=2026-12-01&to=2026-12-31", 200,
         R"({"from":"2026-12-01","to":"2026-12-31","more":false,"totals":[{"station":)"
         R"("<b>room</b>","scale":1,"unit":"kg","count":1,"sum":12.5}],"rows":[{"day":"2026-12-08",)"
         R"("station":"<b>room</b>","scale":1,"unit":"kg","count":1,"sum":12.5}]})"},
        {"/api/range?from=2026-12-01", 400, "Zła data początku"},
        {"/api/range?from=2026-12-01&to=2026-12-31&station=nikt", 400, "Nie ma takiego stanowiska"},
        {"/api/range?from=2026-12-01&to=2026-12-31&scale=9", 400, "Zły numer wagi"},
        {"/api/export.csv?from=2025-01-01&to=2026-01-02", 400, "Zakres dłuższy niż rok"},
        {"/api/export.csv?from=2026-12-09&to=2026-12-08", 400, "Koniec zakresu przed"},
        {"/api/export.json?from=2026-12-01", 400, "Zła data początku"},
        {"/api/export.json?from=2026-12-01&to=2026-12-31", 200, "[{\"id\":\"c/202612/0\""},
        {"/api/export.csv?from=2026-12-01&to=2026-12-31", 200,
         "\xEF\xBB\xBFid;stanowisko;waga;data;godzina;odczyt;masa;jednostka;linia\r\n"
         "c/202612/0;<b>room</b>;1;2026-12-08;09:00:00;12,5;12,5;kg;\"a;\"\"b\"\"\"\r\n"},
        {"/../../etc/passwd", 404, ""},
    };
    for (const auto& request : cases) {
        SCOPED_TRACE(request.path);
        const auto answer = client.Get(request.path.c_str());
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->status, request.status);
        EXPECT_TRUE(answer->body.starts_with(request.body)) << answer->body;
    }
    httplib::Headers many;
    for (int i = 0; i < 20; ++i) {
        many.emplace("X-" + std::to_string(i), std::string(1000, 'c'));
    }
    const auto too_many = client.Get("/api/day", many);
    EXPECT_EQ(too_many->status, 431);
    EXPECT_EQ(too_many->body, "Nagłówki zapytania za duże");
    const auto too_long = client.Get("/api/day?station=" + std::string(9000, 'a'));
    EXPECT_EQ(too_long->status, 414);
    EXPECT_EQ(too_long->body, "Adres zapytania za długi");
    const auto posted = client.Post("/api/day", std::string(100000, 'x'), "text/plain");
    EXPECT_TRUE(!posted || posted->status >= 400);
}

// A weighing stored before times were checked at the door leaves its day's view whole; a value
// the page cannot read is its own fault.
TEST_F(PlantPageTest, AStoredTimeThatIsNoIsoTimeLeavesTheDayViewWhole) {
    {
        const auto database = ledger::OpenDatabase(Url(), "");
        ledger::LedgerTables tables(*database);
        ledger::Batch batch;
        batch.weighings.push_back(
            {"c/202612/9", "room", "c", 202612, 1, "1", 1.0, "2026-12-08 rano", "x", "now", "t"});
        tables.Write(batch);
    }
    const ledger::PlantPage page(Settings(), Url(), "");
    httplib::Client client("127.0.0.1", page.Port());
    const auto answer = client.Get("/api/day?day=2026-12-08");
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 200) << answer->body;

    // A weight that is no number says the page failed, not the database.
    ledger::OpenDatabase(Url(), "")->Transact({{"UPDATE weighings SET weight = 'dużo'", {}}});
    const auto unread = client.Get("/api/day?day=2026-12-08");
    ASSERT_TRUE(unread);
    EXPECT_EQ(unread->status, 500);
    EXPECT_EQ(unread->body, "Błąd strony: nie umie odczytać wartości z bazy danych");
}

// Each order the day's table offers, the newest first among equals.
TEST_F(PlantPageTest, TheDaysTableIsOrderedAsAsked) {
    {
        const auto database = ledger::OpenDatabase(Url(), "");
        ledger::LedgerTables tables(*database);
        ledger::Batch batch;
        const auto add = [&](const char* id, const char* station, int scale,
                             std::optional<double> weight, const char* time) {
            batch.weighings.push_back(
                {id, station, "c", 202612, scale, "r", weight, time, "x", "now", "t"});
        };
        add("c/202612/1", "b", 1, 5, "2026-12-08T10:00:00+01:00");
        add("c/202612/2", "a", 2, {}, "2026-12-08T11:00:00+01:00");
        add("c/202612/3", "a", 1, 7, "2026-12-08T12:00:00+01:00");
        tables.Write(batch);
    }
    const ledger::PlantPage page(Settings(), Url(), "");
    httplib::Client client("127.0.0.1", page.Port());
    const struct {
        const char* query;
        std::vector<std::string> ids;  // the fixture's weighing, c/202612/0, at 09:00, weighs 12.5
    } cases[] = {
        {"", {"3", "2", "1", "0"}},
        {"&sort=time&order=asc", {"0", "1", "2", "3"}},
        {"&sort=station&order=asc", {"0", "3", "2", "1"}},
        {"&sort=scale&order=desc", {"2", "3", "1", "0"}},
        {"&sort=weight", {"0", "3", "1", "2"}},
        {"&sort=weight&order=asc", {"2", "1", "3", "0"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.query);
        const auto answer = client.Get(std::string("/api/day?day=2026-12-08") + c.query);
        ASSERT_TRUE(answer);
        ASSERT_EQ(answer->status, 200) << answer->body;
        const nlohmann::json day = nlohmann::json::parse(answer->body);
        std::vector<std::string> ids;
        for (const auto& row : day["rows"]) {
            ids.push_back(row["id"].get<std::string>().substr(9));
        }
        EXPECT_EQ(ids, c.ids) << answer->body;
    }
}

// The page only reads: a database not made yet is not made by it, and once the ledger has made
// it, the workers' connections, given up after the failure, open again.
TEST_F(PlantPageTest, ThePageNeverMakesTheDatabaseAndReconnectsOnceItIsThere) {
    const std::string later = dir_ / "later.sqlite";
    const ledger::PlantPage page(Settings(), "sqlite:" + later, "");
    httplib::Client client("127.0.0.1", page.Port());
    for (int i = 0; i < 8; ++i) {  // every worker fails, at least once
        EXPECT_EQ(client.Get("/api/stations")->status, 503);
    }
    EXPECT_FALSE(std::filesystem::exists(later));
    // A request that cannot be read says so, whether or not the database answers.
    EXPECT_EQ(client.Get("/api/range?from=x")->status, 400);
    ledger::LedgerTables made(*ledger::OpenDatabase("sqlite:" + later, ""));
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(client.Get("/api/stations")->status, 200);
    }
}

// The exports opened by a real spreadsheet under a Polish locale (tests/ledger/spreadsheet_check.py
// says how): dates are dates, times are times, weights numbers, Polish letters kept, and a room
// whose name looks like a formula, markup, a very long name or control characters stay text.
TEST_F(PlantPageTest, ExportsOpenInASpreadsheetAsTypedCellsAndNeverAsFormulas) {
    const struct {
        std::string station;
        const char* reading;
        std::optional<double> weight;
        const char* unit;
        std::optional<double> number;  // the reading as a spreadsheet's number
    } rows[] = {
        {"Hala ł", "12,5", 12.5, "kg", 12.5},
        {"=HYPERLINK(\"http://x.invalid\";\"kliknij\")", "-3.25", -3.25, "g", -3.25},
        {"+48 600", "7", 7, "t", 7},
        {"-magazyn", "0", 0, "kg", 0},
        {"@SUMA(A1)", "OL", {}, "kg", {}},
        {"\xE2\x80\xAEpokój", "1 000", 1000, "lb", {}},
        {std::string(100, 'x') + "ż\tź", "5", 5, "kg", 5},
        {"<b>ważnia</b>\x01", "#err", {}, "kg", {}},
    };
    nlohmann::json expected = nlohmann::json::array();
    {
        const auto database = ledger::OpenDatabase(Url(), "");
        ledger::LedgerTables tables(*database);
        ledger::Batch batch;
        int offset = 1;
        for (const auto& row : rows) {
            ledger::WeighingRow weighing;
            weighing.id = "c/202612/" + std::to_string(offset++);
            weighing.station = row.station;
            weighing.scale = 2;
            weighing.reading = row.reading;
            weighing.weight = row.weight;
            weighing.unit = row.unit;
            weighing.time = "2026-12-08T13:05:0" + std::to_string(offset) + "+01:00";
            weighing.line = "2026-12-08, 13:05:00\twaga2\t" + std::string(row.reading);
            weighing.received = "now";
            batch.weighings.push_back(weighing);
            expected.push_back({{"id", weighing.id},
                                {"station", row.station},
                                {"date", "2026-12-08"},
                                {"time", "13:05:0" + std::to_string(offset)},
                                {"weight", row.weight ? nlohmann::json(*row.weight) : nullptr},
                                {"unit", row.unit},
                                {"number", row.number ? nlohmann::json(*row.number) : nullptr}});
        }
        tables.Write(batch);
    }
    WriteFile(dir_ / "expected.json", expected.dump());
    const ledger::PlantPage page(Settings(), Url(), "");
    httplib::Client client("127.0.0.1", page.Port());
    for (const char* format : {"csv", "xlsx"}) {
        const auto answer =
            client.Get(std::string("/api/export.") + format + "?from=2026-12-08&to=2026-12-08");
        ASSERT_TRUE(answer);
        ASSERT_EQ(answer->status, 200) << answer->body;
        WriteFile(dir_ / (std::string("wazenia.") + format), answer->body);
    }
    EXPECT_TRUE(RunToEnd({"/usr/bin/python3", SPREADSHEET_CHECK, dir_ / "expected.json",
                          dir_ / "wazenia.csv", dir_ / "wazenia.xlsx"},
                         dir_ / "check.out"))
        << ReadFile(dir_ / "check.out");
    // Filtered to one room, and to a scale: that room's rows only, or none.
    for (const auto& [filter, rows_held] :
         {std::pair{"&station=%2B48%20600", 1}, std::pair{"&station=%2B48%20600&scale=1", 0}}) {
        for (const char* format : {"csv", "json"}) {
            const auto answer = client.Get(std::string("/api/export.") + format +
                                           "?from=2026-12-08&to=2026-12-08" + filter);
            ASSERT_TRUE(answer);
            const std::string& body = answer->body;
            const auto count = [&](char c) { return std::count(body.begin(), body.end(), c); };
            EXPECT_EQ(std::string(format) == "csv" ? count('\n') - 1 : count('{'), rows_held)
                << format << filter << "\n"
                << body;
            EXPECT_EQ(body.find("Hala"), std::string::npos) << body;
        }
    }
}

// Away from loopback: refused without a password and a certificate; with them, HTTPS and Basic.
TEST_F(PlantPageTest, AwayFromLoopbackItWantsTlsAndItsPassword) {
    WriteFile(dir_ / "page.ini", "[Strona]\nlisten=127.0.0.2:0\n");
    const auto refused = ledger::LoadLedgerSettings(station::IniFile(dir_ / "page.ini"), "host",
                                                    dir_.Path(), {2026, 12, 8});
    ASSERT_TRUE(std::holds_alternative<std::string>(refused));
    EXPECT_NE(std::get<std::string>(refused).find("needs password_file, certfile and keyfile"),
              std::string::npos);

    ASSERT_TRUE(
        RunToEnd({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj",
                  "/CN=127.0.0.2", "-keyout", dir_ / "key.pem", "-out", dir_ / "cert.pem"},
                 dir_ / "openssl.log"));
    WriteFile(dir_ / "password", "sekret\n");
    ASSERT_EQ(::chmod((dir_ / "password").c_str(), 0600), 0);
    WriteFile(dir_ / "page.ini",
              "[Strona]\nlisten=127.0.0.2:0\npassword_file=" + dir_ / "password" +
                  "\ncertfile=" + dir_ / "cert.pem" + "\nkeyfile=" + dir_ / "key.pem" +
                  "\nfiles=" + PAGE_FILES + "\n");
    const auto loaded = ledger::LoadLedgerSettings(station::IniFile(dir_ / "page.ini"), "host",
                                                   dir_.Path(), {2026, 12, 8});
    ASSERT_TRUE(std::holds_alternative<ledger::LedgerSettings>(loaded))
        << std::get<std::string>(loaded);
    const ledger::PlantPage page(std::get<ledger::LedgerSettings>(loaded).page, Url(), "");
    httplib::SSLClient client("127.0.0.2", page.Port());
    client.enable_server_certificate_verification(false);
    EXPECT_EQ(client.Get("/api/day")->status, 401);
    client.set_basic_auth("kto", "zle");
    EXPECT_EQ(client.Get("/api/day")->status, 401);
    client.set_basic_auth("kto", "sekret");
    EXPECT_EQ(client.Get("/api/day?day=2026-12-08")->status, 200);
    httplib::Client plain("127.0.0.2", page.Port());
    const auto unencrypted = plain.Get("/api/day");
    EXPECT_TRUE(!unencrypted || unencrypted->status != 200);
}

}  // namespace
}  // namespace station::test
