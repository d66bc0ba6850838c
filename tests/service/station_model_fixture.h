#pragma once

// A station model without any toolkit, in a directory of its own, against real peers on
// 127.0.0.1 and the poll loop, whose time the timing rules follow.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/poll_loop.h"
#include "service/station_model.h"
#include "tests/core/fakes.h"
#include "tests/net/net_fixtures.h"
#include "tests/support/station_directory.h"

namespace station::test {

using namespace std::chrono_literals;

// Writes down what it is told, one line a change.
class Recorder final : public StationObserver {
public:
    void ReadingShown(int scale, const Reading& reading) override {
        Add(scale, "shows " + reading.Text());
    }
    void LampShown(int scale, Lamp lamp) override {
        Add(scale, lamp == Lamp::kGreen ? "green" : lamp == Lamp::kYellow ? "yellow" : "red");
    }
    void ConnectOffered(int scale, bool offered) override {
        Add(scale, offered ? "offers połącz" : "hides połącz");
    }
    void WeighingSaved() override { Add(0, "saved"); }

    std::vector<std::string> said;

private:
    void Add(int scale, const std::string& what) {
        said.push_back(std::to_string(scale) + " " + what);
    }
};

class StationModelTest : public ::testing::Test {
protected:
    StationModelTest() {
        PrepareStationDirectory(dir_);
        ports_.fill(refusing_.Port());
        ports_[0] = server_.Port();
    }

    // Each scale at its entry of `addresses_` and `ports_` (scale 1 on the listener, the others
    // where nothing listens, unless a test says otherwise); `reading` is section Odczyt.
    void Start(const std::string& reading = "") {
        std::string settings = "[Polaczenie]\r\n";
        for (std::size_t i = 0; i < kScaleCount; ++i) {
            settings += "address" + std::to_string(i + 1) + "=" + addresses_[i] + "\r\n";
            settings += "port" + std::to_string(i + 1) + "=" + std::to_string(ports_[i]) + "\r\n";
        }
        WriteFile(dir_ / "dane/konfig.ini", settings + "[Odczyt]\r\n" + reading);
        model_.emplace(loop_, clock_, StationFiles{dir_ / "dane", dir_ / "dane/konfig.ini"});
        model_->AddObserver(first_);
        model_->AddObserver(second_);
        model_->AddObserver(outline_counter_);
        model_->Start();
    }

    // Connects `scale` to `server` and returns the accepted peer.
    int Connect(int scale = 1) { return Connect(scale, server_); }
    int Connect(int scale, const net::test::Listener& server) {
        model_->Connect(scale);
        const int peer = server.Accept();
        EXPECT_TRUE(loop_.RunUntil([&] { return model_->LampOf(scale) == Lamp::kGreen; }, 5s));
        return peer;
    }

    // Sends and waits until the read is decoded, which the lamp's outline shows.
    void SendAndWait(int peer, int scale, const std::string& bytes) {
        const std::uint64_t reads = outlines_[static_cast<std::size_t>(scale - 1)];
        net::test::SendAll(peer, bytes);
        ASSERT_TRUE(loop_.RunUntil(
            [&] { return outlines_[static_cast<std::size_t>(scale - 1)] != reads; }, 5s));
    }

    std::string Shown(int scale) const { return model_->Shown(scale).Text(); }

    std::size_t Logged(const std::string& part) const {
        std::size_t count = 0;
        for (const std::string& line : model_->Log().Lines()) {
            count += line.find(part) != std::string::npos ? 1U : 0U;
        }
        return count;
    }

    TempDir dir_;
    FakeClock clock_;
    PollLoop loop_;
    net::test::Listener server_;
    const RefusingPort refusing_;
    std::array<std::string, kScaleCount> addresses_{"127.0.0.1", "127.0.0.1", "127.0.0.1",
                                                    "127.0.0.1"};
    std::array<int, kScaleCount> ports_{};
    Recorder first_;
    Recorder second_;
    std::optional<StationModel> model_;

private:
    // Counts each scale's reads by the outline they toggle.
    class OutlineCounter final : public StationObserver {
    public:
        explicit OutlineCounter(std::array<std::uint64_t, kScaleCount>& reads) : reads_(reads) {}
        void OutlineShown(int scale, bool) override {
            ++reads_[static_cast<std::size_t>(scale - 1)];
        }

    private:
        std::array<std::uint64_t, kScaleCount>& reads_;
    };
    std::array<std::uint64_t, kScaleCount> outlines_{};
    OutlineCounter outline_counter_{outlines_};
};

}  // namespace station::test
