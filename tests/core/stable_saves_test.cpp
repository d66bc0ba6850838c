// Stable saves on the poll loop with its time advanced: every verdict, the wait and its end,
// without waiting in real time.
#include <gtest/gtest.h>

#include "base/poll_loop.h"
#include "core/reading/stable_saves.h"

namespace station::test {
namespace {

using std::chrono::milliseconds;

// One step of a case: a line shown ("" with `ms`: time passes), a click, or the lamp.
struct Step {
    enum Kind { kLine, kWait, kClick, kLamp } kind;
    const char* text = "";
    int motion = -1;  // -1: the format says nothing of motion
    int ms = 0;
    bool connected = true;
};

Step Line(const char* text, int motion = -1) {
    return {Step::kLine, text, motion};
}
Step Wait(int ms) {
    return {Step::kWait, "", -1, ms};
}
Step Click() {
    return {Step::kClick};
}
Step Lamp(bool connected) {
    return {Step::kLamp, "", -1, 0, connected};
}

Reading ReadingOf(const Step& step) {
    const std::string text = step.text;
    Reading reading = text == "#err" ? Reading::Of(Reading::Kind::kNoWeight)
                      : text == "OL" ? Reading::Of(Reading::Kind::kOver)
                                     : Reading::Weight(text);
    if (step.motion >= 0) {
        reading.motion = step.motion == 1;
    }
    return reading;
}

struct Case {
    const char* name;
    std::vector<Step> steps;
    const char* outcome;  // "saved TEXT", "not stable", "no valid reading", "waiting"
};

class StableSavesTest : public ::testing::TestWithParam<Case> {
protected:
    std::string Run(const std::vector<Step>& steps) {
        ReadingSettings settings;
        settings.save_modes[0] = SaveMode::kStable;
        settings.stable_wait_seconds = 3;
        saves_.Configure(settings);
        saves_.ConnectionShown(1, true);
        for (const Step& step : steps) {
            switch (step.kind) {
                case Step::kLine:
                    saves_.Shown(1, ReadingOf(step));
                    break;
                case Step::kWait:
                    loop_.Advance(milliseconds(step.ms));
                    break;
                case Step::kClick:
                    saves_.SaveClicked(1);
                    break;
                case Step::kLamp:
                    saves_.ConnectionShown(1, step.connected);
                    break;
            }
        }
        loop_.Advance(milliseconds(0));  // what was decided reaches the window from the loop
        return outcome_.empty() && waiting_ ? "waiting" : outcome_;
    }

    PollLoop loop_;
    std::string outcome_;
    bool waiting_ = false;
    StableSaves saves_{
        loop_,
        {[this](int, const Reading& reading) { outcome_ = "saved " + reading.Text(); },
         [this](int, StableSaves::Refusal why) {
             outcome_ = why == StableSaves::Refusal::kNotStable ? "not stable" : "no valid reading";
         },
         [this](int, bool waiting) { waiting_ = waiting; }}};
};

TEST_P(StableSavesTest, Verdict) {
    EXPECT_EQ(Run(GetParam().steps), GetParam().outcome);
}

const Case kSaveCases[] = {
    {"FormatSaysStill", {Line("1234", 0), Click()}, "saved 1234"},
    {"SameLineThreeTimesOverHalfASecond",
     {Line("1234"), Wait(250), Line("1234"), Wait(250), Line("1234"), Click()},
     "saved 1234"},
    {"ThreeLinesTooQuick",
     {Line("1234"), Wait(100), Line("1234"), Wait(100), Line("1234"), Click()},
     "waiting"},
    {"MovingThenStillWithinTheWait",
     {Line("1230", 1), Click(), Wait(1000), Line("1234", 1), Wait(1000), Line("1236", 0)},
     "saved 1236"},
    {"StillMovingWhenTheWaitEnds",
     {Line("1230", 1), Click(), Wait(1500), Line("1232", 1), Wait(1500)},
     "not stable"},
    {"WaitingMeanwhile", {Line("1230", 1), Click(), Wait(2900)}, "waiting"},
    {"NoLineYet", {Click()}, "no valid reading"},
    {"AnErrorIsNoWeight", {Line("#err", 0), Click()}, "no valid reading"},
    {"OverRangeIsNoWeight", {Line("OL", 0), Click()}, "no valid reading"},
    {"StaleAfterTwoSeconds", {Line("1234", 0), Wait(2000), Click()}, "no valid reading"},
    {"RedLamp", {Line("1234", 0), Lamp(false), Click()}, "no valid reading"},
    {"LampTurnsRedDuringTheWait",
     {Line("1230", 1), Click(), Wait(500), Lamp(false)},
     "no valid reading"},
    {"LinesStopDuringTheWait", {Line("1230", 1), Click(), Wait(3000)}, "no valid reading"},
};

INSTANTIATE_TEST_SUITE_P(Cases, StableSavesTest, ::testing::ValuesIn(kSaveCases),
                         [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace station::test
