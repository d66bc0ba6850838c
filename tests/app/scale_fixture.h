#pragma once

#include "tests/app/station_fixture.h"
#include "tests/net/net_fixtures.h"
#include "tests/qt_wait.h"

namespace station::test {

using net::test::Listener;
using net::test::Reset;
using net::test::SendAll;

const QColor kRed(255, 0, 0);
const QColor kYellow(255, 255, 0);
const QColor kGreen(0, 128, 0);
const QColor kWhite(255, 255, 255);
const QColor kBlack(0, 0, 0);

class ScaleTest : public StationTest {
protected:
    // Starts the station with scale `scale` pointed at `port` and the others at `unused`.
    void StartWithPort(int scale, int port) {
        for (std::size_t i = 0; i < kScaleCount; ++i) {
            ports_[i] = unused_;
        }
        ports_[static_cast<std::size_t>(scale - 1)] = port;
        WriteSettings();
        Start();
    }

    void WriteSettings() {
        std::string text = "[Polaczenie]\r\n";
        for (std::size_t i = 0; i < kScaleCount; ++i) {
            text += "address" + std::to_string(i + 1) + "=" + addresses_[i] + "\r\n";
            text += "port" + std::to_string(i + 1) + "=" + std::to_string(ports_[i]) + "\r\n";
        }
        WriteFile(dir_ / "dane/konfig.ini", text);
    }

    // Connects scale `scale` by its button and returns the accepted peer.
    int ConnectScale(const Listener& server, int scale) {
        Box(scale).BBconnect->click();
        const int peer = server.Accept();
        EXPECT_GE(peer, 0);
        EXPECT_TRUE(RunQtUntil([&] { return Box(scale).Shape->BrushColor() == kGreen; }));
        return peer;
    }

    QString Shown(int scale) { return Box(scale).Ldisplay->text(); }

    // Sends and waits for the read event that the outline of the lamp shows.
    void SendAndWait(int peer, int scale, const std::string& bytes) {
        const QColor before = Box(scale).Shape->PenColor();
        SendAll(peer, bytes);
        ASSERT_TRUE(RunQtUntil([&] { return Box(scale).Shape->PenColor() != before; }));
    }

    std::array<std::string, kScaleCount> addresses_{"127.0.0.1", "127.0.0.1", "127.0.0.1",
                                                    "127.0.0.1"};
    std::array<int, kScaleCount> ports_{};
    const RefusingPort refusing_;
    const int unused_ = refusing_.Port();
};

}  // namespace station::test
