// The four scales against real peers on 127.0.0.1: lamps, buttons, readings and the register.
#include <algorithm>

#include "tests/app/scale_fixture.h"

namespace station::test {
namespace {

TEST_F(ScaleTest, AcceptedConnectionGoesYellowThenGreenAndHidesTheButton) {
    Listener server;
    StartWithPort(1, server.Port());
    Box(1).BBconnect->click();
    EXPECT_EQ(Box(1).Shape->BrushColor(), kYellow);
    EXPECT_FALSE(Box(1).BBconnect->isHidden());
    const int peer = server.Accept();
    ASSERT_TRUE(RunQtUntil([&] { return Box(1).Shape->BrushColor() == kGreen; }));
    EXPECT_TRUE(Box(1).BBconnect->isHidden());
    EXPECT_EQ(Box(2).Shape->BrushColor(), kRed);  // the others are untouched
    close(peer);
}

TEST_F(ScaleTest, NothingListeningGoesYellowThenRedAndKeepsTheButton) {
    StartWithPort(2, unused_);
    Box(2).BBconnect->click();
    EXPECT_EQ(Box(2).Shape->BrushColor(), kYellow);
    ASSERT_TRUE(RunQtUntil([&] { return Box(2).Shape->BrushColor() == kRed; }));
    EXPECT_FALSE(Box(2).BBconnect->isHidden());
    EXPECT_TRUE(toolkit_.error_boxes.empty());
}

TEST_F(ScaleTest, PeerCloseTurnsRedAndShowsTheButton) {
    Listener server;
    StartWithPort(3, server.Port());
    const int peer = ConnectScale(server, 3);
    close(peer);
    ASSERT_TRUE(RunQtUntil([&] { return Box(3).Shape->BrushColor() == kRed; }));
    EXPECT_FALSE(Box(3).BBconnect->isHidden());
    EXPECT_FALSE(form_->Model().ClientSocket(3).Active());
}

TEST_F(ScaleTest, ResetTurnsRedAndTheButtonConnectsAgain) {
    Listener server;
    StartWithPort(1, server.Port());
    Reset(ConnectScale(server, 1));
    ASSERT_TRUE(RunQtUntil([&] { return Box(1).Shape->BrushColor() == kRed; }));
    EXPECT_FALSE(Box(1).BBconnect->isHidden());
    EXPECT_FALSE(form_->Model().ClientSocket(1).Active());
    const int again = ConnectScale(server, 1);
    EXPECT_TRUE(form_->Model().ClientSocket(1).Active());
    EXPECT_TRUE(toolkit_.error_boxes.empty());
    close(again);
}

TEST_F(ScaleTest, OutlineBlinksPerReadEventOfItsOwnScale) {
    Listener server;
    ports_.fill(unused_);
    ports_[0] = ports_[1] = server.Port();
    WriteSettings();
    Start();
    const int peer1 = ConnectScale(server, 1);
    const int peer2 = ConnectScale(server, 2);  // two scales on one peer: two connections
    EXPECT_EQ(Box(1).Shape->PenColor(), kBlack);
    SendAndWait(peer1, 1, "10\r");
    EXPECT_EQ(Box(1).Shape->PenColor(), kWhite);
    SendAndWait(peer1, 1, "11\r");
    EXPECT_EQ(Box(1).Shape->PenColor(), kGreen);
    SendAndWait(peer1, 1, "12\r");
    EXPECT_EQ(Box(1).Shape->PenColor(), kWhite);
    EXPECT_EQ(Box(2).Shape->PenColor(), kBlack);
    EXPECT_EQ(Shown(1), "12");
    EXPECT_EQ(Shown(2), "- - - - -");
    SendAndWait(peer2, 2, "20\r");
    EXPECT_EQ(Shown(2), "20");
    EXPECT_EQ(Box(1).Shape->PenColor(), kWhite);
    close(peer1);
    close(peer2);
}

TEST_F(ScaleTest, ActivationConnectsAllFour) {
    Listener server;
    ports_.fill(server.Port());
    WriteSettings();
    Show();
    for (int i = 0; i < 4; ++i) {
        ASSERT_GE(server.Accept(), 0) << i;
    }
    ASSERT_TRUE(RunQtUntil([&] {
        for (int n = 1; n <= 4; ++n) {
            if (!form_->Model().ClientSocket(n).Active()) {
                return false;
            }
        }
        return true;
    }));
}

TEST_F(ScaleTest, SaveButtonAppendsTheReadingShown) {
    Listener server;
    StartWithPort(3, server.Port());
    const int peer = ConnectScale(server, 3);
    SendAndWait(peer, 3, "-12.4\r");
    clock_.now = {2026, 12, 6, 19, 21, 7, 0};
    Box(3).BBsave->click();
    Box(1).BBsave->click();
    EXPECT_EQ(ReadFile(dir_ / "dane/202612.txt"),
              "2026-12-06, 19:21:07\twaga3\t-12\r\n"
              "2026-12-06, 19:21:07\twaga1\t- - - - -\r\n");
    close(peer);
}

TEST_F(ScaleTest, FailedSaveIsReportedAndTheStationGoesOn) {
    StartWithPort(1, unused_);
    std::filesystem::remove_all(dir_ / "dane");
    Box(1).BBsave->click();
    EXPECT_EQ(toolkit_.error_boxes, (FakeToolkit::ErrorBoxes{{"Tarvelio", "Invalid filename."}}));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "dane"));
}

}  // namespace
}  // namespace station::test
