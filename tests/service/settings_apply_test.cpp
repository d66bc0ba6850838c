// The apply sequence behind "Ustawienia"'s OK, on the model: every scale closed, the settings
// written, every scale connected again, 1 to 4; a file that cannot be written ends it there.
#include "tests/service/station_model_fixture.h"

namespace station::test {
namespace {

class ApplyTest : public StationModelTest {
protected:
    // Each scale on its own listener, all four connected, their connection attempts recorded.
    void StartConnected() {
        for (std::size_t i = 0; i < kScaleCount; ++i) {
            ports_[i] = servers_[i].Port();
        }
        Start();
        for (int n = 1; n <= 4; ++n) {
            peers_.push_back(Connect(n, servers_[static_cast<std::size_t>(n - 1)]));
            auto& socket = model_->ClientSocket(n);
            socket.OnConnecting = [this, shown = socket.OnConnecting](auto& sender, auto& s) {
                connecting_.push_back(sender.Name());
                shown(sender, s);
            };
        }
    }
    bool AllActive(bool active) {
        for (int n = 1; n <= 4; ++n) {
            if (model_->ClientSocket(n).Active() != active) {
                return false;
            }
        }
        return true;
    }

    ~ApplyTest() override {
        for (const int peer : peers_) {
            close(peer);
        }
    }

    std::array<net::test::Listener, kScaleCount> servers_;
    std::vector<int> peers_;
    std::vector<std::string> connecting_;
};

TEST_F(ApplyTest, TheSameSettingsRewriteTheFileAndReconnectOneToFour) {
    StartConnected();
    WriteFile(dir_ / "dane/konfig.ini",
              "; kept\r\n[Polaczenie]\r\nport1=" + std::to_string(ports_[0]) + "\r\n");
    model_->ApplySettings(model_->Connections(), std::nullopt);
    EXPECT_EQ(connecting_, (std::vector<std::string>{"ClientSocket1", "ClientSocket2",
                                                     "ClientSocket3", "ClientSocket4"}));
    std::string expected = "; kept\r\n[Polaczenie]\r\n";
    expected += "port1=" + std::to_string(ports_[0]) + "\r\n";
    expected +=
        "address1=127.0.0.1\r\naddress2=127.0.0.1\r\naddress3=127.0.0.1\r\n"
        "address4=127.0.0.1\r\n";
    for (std::size_t i = 1; i < kScaleCount; ++i) {
        expected += "port" + std::to_string(i + 1) + "=" + std::to_string(ports_[i]) + "\r\n";
    }
    EXPECT_EQ(ReadFile(dir_ / "dane/konfig.ini"), expected);
    for (std::size_t i = 0; i < kScaleCount; ++i) {
        const int peer = servers_[i].Accept();
        ASSERT_GE(peer, 0) << i;  // a new connection for every scale
        peers_.push_back(peer);
    }
    ASSERT_TRUE(loop_.RunUntil([&] { return AllActive(true); }, 5s));
}

TEST_F(ApplyTest, NewValuesTakeEffectAndAnUnwritableFileLeavesTheScalesClosed) {
    StartConnected();
    net::test::Listener moved;
    ConnectionSettings changed = model_->Connections();
    changed.addresses[1] = " 10.0.0.1";  // taken as typed
    changed.ports[2] = moved.Port();
    model_->ApplySettings(changed, std::nullopt);
    EXPECT_EQ(model_->Connections().addresses[1], " 10.0.0.1");
    EXPECT_EQ(model_->Connections().ports[2], moved.Port());
    peers_.push_back(moved.Accept());
    EXPECT_GE(peers_.back(), 0);
    EXPECT_TRUE(loop_.RunUntil([&] { return model_->ClientSocket(3).Active(); }, 5s));

    connecting_.clear();
    std::filesystem::remove(dir_ / "dane/konfig.ini");
    std::filesystem::create_directory(dir_ / "dane/konfig.ini");  // cannot be replaced
    changed.ports[3] = 3004;
    EXPECT_THROW(model_->ApplySettings(changed, std::nullopt), IniWriteError);
    EXPECT_TRUE(connecting_.empty());
    EXPECT_TRUE(AllActive(false));
    for (int n = 1; n <= 4; ++n) {
        EXPECT_EQ(model_->LampOf(n), Lamp::kRed) << n;
    }
}

}  // namespace
}  // namespace station::test
