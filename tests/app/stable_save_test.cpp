// "Zapisz ważenie" with save1=stable, from a real peer through the window: a stable, valid,
// fresh weight is saved, at once or after a wait; anything else is refused with the usual box
// and nothing written. Under the locales the station meets.
#include <QApplication>

#include <locale.h>

#include <filesystem>

#include "tests/app/scale_fixture.h"
#include "tests/core/scoped_env.h"

namespace station::test {
namespace {

using namespace std::chrono_literals;

constexpr auto kLineGap = 300ms;
const char* const kNotStable = "Waga 1: brak stabilnego odczytu - ważenie nie zostało zapisane.";
const char* const kNoValidReading =
    "Waga 1: brak poprawnego odczytu - ważenie nie zostało zapisane.";

class StableSaveTest : public ScaleTest, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override {
        locale_.emplace("LC_ALL", GetParam());
        if (const locale_t chosen = newlocale(LC_ALL_MASK, "", locale_t{})) {
            freelocale(chosen);
        } else {
            GTEST_SKIP() << GetParam() << " is not installed; scripts/test.sh generates it";
        }
        ports_.fill(unused_);
        ports_[0] = server_.Port();
        ports_[1] = second_.Port();
        WriteSettings();
        WriteFile(dir_ / "dane/konfig.ini", ReadFile(dir_ / "dane/konfig.ini") +
                                                "[Odczyt]\r\nsave1=stable\r\nstable_wait=2\r\n");
        Start();
        peer_ = ConnectScale(server_, 1);
    }

    void TearDown() override {
        if (peer_ >= 0) {
            close(peer_);
        }
    }

    // Sends each of the '|'-separated lines kLineGap apart, the window running meanwhile.
    void Send(const std::string& lines) {
        for (std::size_t at = 0; at < lines.size();) {
            const std::size_t bar = std::min(lines.find('|', at), lines.size());
            SendAndWait(peer_, 1, lines.substr(at, bar - at) + "\r\n");
            RunQtUntil([] { return false; }, kLineGap);
            at = bar + 1;
        }
    }

    void EndLine() {
        close(peer_);
        peer_ = -1;
        ASSERT_TRUE(RunQtUntil([&] { return Box(1).Shape->BrushColor() == kRed; }));
    }

    // What the station did about the save: the reading saved, or the refusal's text.
    std::string Outcome() {
        RunQtUntil([&] { return Box(1).BBsave->isEnabled(); }, 5s);
        QCoreApplication::processEvents();  // the save or the box comes from the loop
        if (!toolkit_.error_boxes.empty()) {
            EXPECT_EQ(toolkit_.error_boxes.size(), 1u);
            EXPECT_EQ(toolkit_.error_boxes[0].first, "Tarvelio");
            EXPECT_FALSE(std::filesystem::exists(dir_ / "dane/202612.txt"));
            return toolkit_.error_boxes[0].second.toStdString();
        }
        const std::string saved = ReadFile(dir_ / "dane/202612.txt");
        return saved.substr(saved.rfind('\t') + 1, saved.size() - saved.rfind('\t') - 3);
    }

    std::optional<ScopedEnv> locale_;
    Listener server_;
    Listener second_;
    int peer_ = -1;
};

struct StableCase {
    const char* name;
    const char* before;  // lines before the click
    const char* during;  // lines after it
    bool end_during;     // then the line ends
    const char* outcome;
};

// Each outcome as the operator meets it; every verdict of the rule, with the loop's time
// advanced instead of waited for, is in the core tests (stable_saves_test.cpp).
TEST_P(StableSaveTest, OnlyAStableValidFreshWeightIsSaved) {
    const StableCase cases[] = {
        {"never a reading: - - - - -", "", "", false, kNoValidReading},
        {"stable", "100.4|100.4|100.4", "", false, "100"},
        {"moving to the end", "100|101", "102|103|104|105|106|107|108", false, kNotStable},
        {"red lamp during the wait", "100|101", "", true, kNoValidReading},
    };
    for (const StableCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(dir_ / "dane/202612.txt");
        toolkit_.error_boxes.clear();
        if (peer_ < 0) {
            Box(1).BBconnect->click();
            peer_ = server_.Accept();
            ASSERT_TRUE(RunQtUntil([&] { return Box(1).Shape->BrushColor() == kGreen; }));
        }
        if (*c.before != '\0') {
            Send("#");  // a fresh run: what the case before showed settles nothing
        }
        Send(c.before);
        Box(1).BBsave->click();
        Send(c.during);
        if (c.end_during) {
            EndLine();
        }
        EXPECT_EQ(Outcome(), c.outcome);
    }
}

TEST_P(StableSaveTest, AWaitHoldsOnlyItsOwnButtonAndSavesTheLaterTime) {
    const int other = ConnectScale(second_, 2);
    clock_.now = {2026, 12, 8, 9, 0, 0, 0};
    Send("100|101");
    form_->show();
    form_->activateWindow();
    QApplication::processEvents();
    Box(1).BBsave->setFocus();
    ASSERT_TRUE(Box(1).BBsave->hasFocus());
    Box(1).BBsave->click();
    EXPECT_FALSE(Box(1).BBsave->isEnabled()) << "a second press cannot queue another save";
    EXPECT_NE(QApplication::focusWidget(), Box(2).BBsave) << "where a key would press it";
    EXPECT_NE(Box(1).BBsave->palette().color(QPalette::Disabled, QPalette::ButtonText),
              Box(1).BBsave->palette().color(QPalette::Active, QPalette::ButtonText))
        << "and it looks it";
    EXPECT_TRUE(Box(2).BBsave->isEnabled());
    SendAndWait(other, 2, "7\r\n");
    EXPECT_EQ(Shown(2), "7") << "the other scales keep changing";
    clock_.now = {2026, 12, 8, 9, 0, 2, 0};
    Send("105|105|105");
    EXPECT_EQ(Outcome(), "105");
    EXPECT_EQ(ReadFile(dir_ / "dane/202612.txt"), "2026-12-08, 09:00:02\twaga1\t105\r\n");
    close(other);
}

INSTANTIATE_TEST_SUITE_P(Locales, StableSaveTest, ::testing::Values("C", "pl_PL.UTF-8"),
                         [](const ::testing::TestParamInfo<const char*>& locale) {
                             return std::string(locale.index == 0 ? "C" : "Polish");
                         });

}  // namespace
}  // namespace station::test
