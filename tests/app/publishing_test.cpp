// Saved weighings and live states through the real window to a real broker and subscriber.
#include <nlohmann/json.hpp>

#include <sys/stat.h>

#include <algorithm>
#include <sstream>

#include "tests/app/scale_fixture.h"
#include "tests/support/mqtt_broker.h"

namespace station::test {
namespace {

using Json = nlohmann::json;
using namespace std::chrono_literals;

constexpr int kStatusPanel = 8;

class PublishingTest : public ScaleTest {
protected:
    // Starts the station with its scales nowhere and the broker settings `settings`.
    void StartPublishing(const std::string& settings) {
        ports_.fill(unused_);
        WriteSettings();
        WriteFile(dir_ / "dane/konfig.ini",
                  ReadFile(dir_ / "dane/konfig.ini") + "[Publikacja]\r\n" + settings);
        Show();
        QCoreApplication::processEvents();
    }

    void StartPublishing() {
        StartPublishing("broker=127.0.0.1\r\nport=" + std::to_string(broker_->Port()) +
                        "\r\ntopic=t\r\nclient_id=station-a\r\n");
    }

    bool WaitForPanel(const QString& text, std::chrono::milliseconds limit = 10s) {
        return RunQtUntil([&] { return PanelText(kStatusPanel) == text; }, limit);
    }

    void Save(int scale, int times = 1) {
        for (int i = 0; i < times; ++i) {
            Box(scale).BBsave->click();
        }
    }

    std::vector<std::string> RegisterLines() const {
        std::vector<std::string> lines;
        for (const auto& file : std::filesystem::directory_iterator(dir_ / "dane")) {
            if (file.path().extension() == ".txt") {
                std::istringstream text(ReadFile(file.path()));
                for (std::string line; std::getline(text, line);) {
                    lines.push_back(line.substr(0, line.size() - 1));  // without CR
                }
            }
        }
        return lines;
    }

    std::vector<std::string> LogFaults() const {
        std::vector<std::string> faults;
        for (const std::string& line : form_->Log().Lines()) {
            if (line.find(" !! MQTT") != std::string::npos) {
                faults.push_back(line);
            }
        }
        return faults;
    }

    std::unique_ptr<MqttBroker> broker_ = std::make_unique<MqttBroker>();
};

TEST_F(PublishingTest, ASaveArrivesAsItsRegisterLineAndStatesAreRetained) {
    StartPublishing();
    ASSERT_TRUE(WaitForPanel("OK 0"));
    MqttSubscriber live(*broker_, "t/#");
    ASSERT_TRUE(RunQtUntil([&] { return !live.Payloads("t/status").empty(); }));
    EXPECT_EQ(live.Payloads("t/status"), std::vector<std::string>{"online"});

    Find<QPushButton>("BBsymulup_small")->click();
    ASSERT_TRUE(RunQtUntil([&] {
        const auto states = live.Payloads("t/waga1/state");
        return !states.empty() && Json::parse(states.back())["reading"] == "5";
    }));
    Save(1);
    ASSERT_TRUE(RunQtUntil([&] { return live.Payloads("t/waga1/weighing").size() == 1; }));
    const Json weighing = Json::parse(live.Payloads("t/waga1/weighing")[0]);
    EXPECT_EQ(weighing["line"], RegisterLines().back());
    EXPECT_EQ(weighing["scale"], 1);
    EXPECT_EQ(weighing["reading"], "5");
    EXPECT_EQ(weighing["id"], "station-a/" + RegisterLines().back().substr(0, 4) +
                                  RegisterLines().back().substr(5, 2) + "/0");
    EXPECT_TRUE(WaitForPanel("OK 0"));

    // A subscriber that comes later gets the status and the latest states, retained.
    MqttSubscriber late(*broker_, "t/#");
    ASSERT_TRUE(RunQtUntil([&] { return late.Lines().size() >= 5; }));
    const std::vector<std::string> lines = late.Lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "1 t/status online"), lines.end());
    const Json state = Json::parse(late.Payloads("t/waga1/state").at(0));
    EXPECT_EQ(state["reading"], "5");
    EXPECT_EQ(state["connected"], false);
    EXPECT_TRUE(late.Payloads("t/waga1/weighing").empty());

    // The station gone, the broker says so for it.
    form_.reset();
    ASSERT_TRUE(RunQtUntil([&] { return live.Payloads("t/status").size() == 2; }))
        << broker_->Log();
    EXPECT_EQ(live.Payloads("t/status")[1], "offline") << broker_->Log();
}

TEST_F(PublishingTest, WeighingsSavedWhileTheBrokerIsDownArriveInOrderOnce) {
    MqttSubscriber collector(*broker_, "t/#", "collector");
    StartPublishing();
    ASSERT_TRUE(WaitForPanel("OK 0"));
    ASSERT_TRUE(RunQtUntil([&] { return !collector.Payloads("t/status").empty(); }));

    broker_->Stop();
    ASSERT_TRUE(WaitForPanel("!! 0"));
    Save(2, 10);
    EXPECT_EQ(PanelText(kStatusPanel), "!! 10");
    const ui::PanelStatusBar& bar = *form_->Controls().StatusBar;
    EXPECT_LE(bar.fontMetrics().horizontalAdvance(PanelText(kStatusPanel) + "00"),
              bar.PanelRect(kStatusPanel).width() - 5)
        << "the text fits its panel, with room for a longer count";
    ASSERT_TRUE(broker_->Start());
    ASSERT_TRUE(WaitForPanel("OK 0", 20s));
    ASSERT_TRUE(RunQtUntil([&] { return collector.Payloads("waga2/weighing").size() >= 10; }));
    std::vector<std::string> lines;
    for (const std::string& payload : collector.Payloads("waga2/weighing")) {
        lines.push_back(Json::parse(payload)["line"]);
    }
    EXPECT_EQ(lines, RegisterLines());
    const std::vector<std::string> faults = LogFaults();
    EXPECT_EQ(std::adjacent_find(faults.begin(), faults.end(),
                                 [](const std::string& a, const std::string& b) {
                                     return a.substr(13) == b.substr(13);  // after the time
                                 }),
              faults.end())
        << "one line per change, however often it retried";
}

TEST_F(PublishingTest, AWeighingSavedBeforeTheStationEndedArrivesAfterItStartsAgain) {
    MqttSubscriber collector(*broker_, "t/+/weighing", "collector");
    StartPublishing();
    ASSERT_TRUE(WaitForPanel("OK 0"));
    broker_->Stop();
    ASSERT_TRUE(WaitForPanel("!! 0"));
    Save(3);
    form_.reset();

    ASSERT_TRUE(broker_->Start());
    Show();
    ASSERT_TRUE(RunQtUntil([&] { return collector.Payloads("waga3/weighing").size() == 1; }, 10s));
    EXPECT_EQ(Json::parse(collector.Payloads("waga3/weighing")[0])["line"], RegisterLines()[0]);
}

TEST_F(PublishingTest, WithoutABrokerNothingConnectsOrIsWrittenAndKeysWithoutOneAreSaid) {
    Listener would_be_broker;
    StartPublishing("port=" + std::to_string(would_be_broker.Port()) + "\r\ntopic=t\r\n");
    Save(1);
    EXPECT_LT(would_be_broker.Accept(), 0);
    EXPECT_EQ(PanelText(kStatusPanel), "!! ust.");
    EXPECT_TRUE(form_->Controls().StatusBar->PanelAt(kStatusPanel).tool_tip.contains("broker"));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "dane/publikacja.stan"));
    EXPECT_TRUE(LogFaults().empty());

    form_.reset();
    StartPublishing("; nothing here\r\n");
    EXPECT_EQ(PanelText(kStatusPanel), "") << "a section without keys is no section";
}

TEST_F(PublishingTest, ADamagedStateAndAMonthThatCannotBeReadShowOnPanel8) {
    std::filesystem::create_directory(dir_ / "dane/publikacja.stan");
    std::filesystem::create_directory(dir_ / "dane/202611.txt");  // where delivery starts again
    StartPublishing();
    const auto tip = [&] { return form_->Controls().StatusBar->PanelAt(kStatusPanel).tool_tip; };
    ASSERT_TRUE(RunQtUntil([&] { return tip().contains("202611.txt"); })) << tip().toStdString();
    EXPECT_EQ(PanelText(kStatusPanel), "!! 0") << "connected, but the register cannot be read";
    EXPECT_TRUE(tip().contains("dane/publikacja.stan.uszkodzony")) << tip().toStdString();

    std::filesystem::remove(dir_ / "dane/202611.txt");
    EXPECT_TRUE(WaitForPanel("OK 0"));
}

// Credentials and certificates: the broker is configured per case, the station's settings
// name the files the case makes.
struct AccessCase {
    const char* name;
    const char* broker;   // the listener's settings
    const char* station;  // the station's settings besides broker and port
    bool connects;
};

class PublishingAccessTest : public PublishingTest,
                             public ::testing::WithParamInterface<AccessCase> {
protected:
    PublishingAccessTest() {
        const std::string& files = keys_.Path();
        const auto run = [&](std::vector<std::string> arguments) {
            ASSERT_TRUE(RunToEnd(arguments, keys_ / "openssl.log"))
                << ReadFile(keys_ / "openssl.log");
        };
        for (const char* ca : {"ca", "other-ca"}) {
            run({"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                 "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2", "-subj",
                 std::string("/CN=") + ca, "-keyout", files + "/" + ca + ".key", "-out",
                 files + "/" + ca + ".crt"});
        }
        run({"openssl", "req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
             "-nodes", "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
             "-keyout", files + "/server.key", "-out", files + "/server.csr"});
        run({"openssl", "x509", "-req", "-in", files + "/server.csr", "-CA", files + "/ca.crt",
             "-CAkey", files + "/ca.key", "-CAcreateserial", "-days", "2", "-copy_extensions",
             "copy", "-out", files + "/server.crt"});
        run({"mosquitto_passwd", "-b", "-c", files + "/broker.passwords", "weigher", "right"});
        WriteFile(keys_ / "right", "right\n");
        WriteFile(keys_ / "wrong", "wrong\n");
        chmod((keys_ / "right").c_str(), 0600);
        chmod((keys_ / "wrong").c_str(), 0600);
    }

    static std::string Filled(std::string text, const std::string& files) {
        for (std::size_t at; (at = text.find("$K")) != std::string::npos;) {
            text.replace(at, 2, files);
        }
        return text;
    }

    TempDir keys_;
};

TEST_P(PublishingAccessTest, ConnectsOnlyWithWhatTheBrokerAccepts) {
    broker_ = std::make_unique<MqttBroker>(Filled(GetParam().broker, keys_.Path()));
    StartPublishing("broker=127.0.0.1\r\nport=" + std::to_string(broker_->Port()) + "\r\n" +
                    Filled(GetParam().station, keys_.Path()));
    if (GetParam().connects) {
        EXPECT_TRUE(WaitForPanel("OK 0"));
        return;
    }
    // Refused and tried again after a second, logged once; the window goes on working. The
    // broker logs a connection before the station has failed its handshake: a third one means
    // the station has met two refusals.
    ASSERT_TRUE(RunQtUntil([&] { return broker_->ConnectionCount() >= 3; }, 10s));
    EXPECT_EQ(PanelText(kStatusPanel), "!! 0");
    EXPECT_EQ(LogFaults().size(), 1u) << broker_->Log();
    Save(4);
    EXPECT_EQ(PanelText(kStatusPanel), "!! 1");
}

const AccessCase kAccessCases[] = {
    {"RightPassword", "password_file $K/broker.passwords\n",
     "username=weigher\r\npassword_file=$K/right\r\n", true},
    {"WrongPassword", "password_file $K/broker.passwords\n",
     "username=weigher\r\npassword_file=$K/wrong\r\n", false},
    {"TlsWithTheBrokersAuthority",
     "allow_anonymous true\ncertfile $K/server.crt\nkeyfile $K/server.key\n",
     "cafile=$K/ca.crt\r\n", true},
    {"TlsWithAnotherAuthority",
     "allow_anonymous true\ncertfile $K/server.crt\nkeyfile $K/server.key\n",
     "cafile=$K/other-ca.crt\r\n", false},
};

void PrintTo(const AccessCase& value, std::ostream* out) {
    *out << value.name;
}

std::string CaseName(const ::testing::TestParamInfo<AccessCase>& access) {
    return access.param.name;
}

INSTANTIATE_TEST_SUITE_P(Cases, PublishingAccessTest, ::testing::ValuesIn(kAccessCases), CaseName);

}  // namespace
}  // namespace station::test
