#pragma once

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/event_loop.h"
#include "core/reading/reading.h"
#include "core/scales.h"
#include "core/reading/save_settings.h"

namespace station {

// One scale's recent readings, as a stable save judges them. A reading is valid when it is a
// weight on a green lamp, fresh when its line came less than kFresh ago, and stable when the
// format says there is no motion or, where the format says nothing of motion, when the same
// weight, unrounded (or the same line, under the standard rule, which reads none), has come in
// kSettledLines lines in a row spanning at least kSettledSpan: a creep of a count a line that
// the rounding hides is motion.
class ReadingHistory {
public:
    using TimePoint = EventLoop::TimePoint;
    static constexpr auto kFresh = std::chrono::seconds(2);
    static constexpr int kSettledLines = 3;
    static constexpr auto kSettledSpan = std::chrono::milliseconds(500);

    enum class Verdict { kStable, kUnsettled, kInvalid };

    // `line` came in at `at` and the display shows `reading`.
    void Shown(const Reading& reading, std::string_view line, TimePoint at);
    Verdict Judge(bool connected, TimePoint now) const;
    const Reading& Last() const { return reading_; }

private:
    Reading reading_;
    std::string value_;      // the unrounded weight or the line, of the run
    TimePoint run_start_{};  // the first line of the run of `reading_`
    TimePoint last_{};
    int run_lines_ = 0;
};

// The saves of the scales whose mode is "stable": a save takes a stable reading at once, waits
// up to the settings' stable_wait for one while the reading is valid and fresh but unsettled,
// and is refused otherwise. A wait sets no timer but its deadline and reads no time but the
// loop's, on a line, so it costs nothing while the scale is silent. What it decides reaches the
// window through Handlers, always from the event loop, never from inside the call that decided it:
// a save may fail and a refusal opens a modal box, neither of which may run inside the decoder.
class StableSaves {
public:
    enum class Refusal { kNotStable, kNoValidReading };
    struct Handlers {
        std::function<void(int scale, const Reading& reading)> save;
        std::function<void(int scale, Refusal why)> refuse;
        std::function<void(int scale, bool waiting)> waiting;
    };

    StableSaves(EventLoop& loop, Handlers handlers) : loop_(loop), handlers_(std::move(handlers)) {}

    // Ends any wait without a word.
    void Configure(const SaveSettings& settings);
    bool IsStable(int scale) const;

    // `line` of `scale` came in and its display shows `reading`.
    void Shown(int scale, const Reading& reading, std::string_view line = {});
    // The lamp of `scale` turned green, or away from green.
    void ConnectionShown(int scale, bool connected);
    // "Zapisz ważenie" of a scale whose mode is "stable".
    void SaveClicked(int scale);

private:
    struct Scale {
        ReadingHistory history;
        bool connected = false;
        std::unique_ptr<Timer> wait;  // set while a save waits
    };

    // Ends the save on a verdict that decides it: true unless the reading is unsettled.
    bool Decide(int scale, ReadingHistory::Verdict verdict);
    void Finish(int scale, std::optional<Refusal> refusal);
    Scale& Of(int scale) { return scales_.at(static_cast<std::size_t>(scale - 1)); }

    EventLoop& loop_;
    Handlers handlers_;
    SaveSettings settings_;
    std::array<Scale, kScaleCount> scales_;
};

}  // namespace station
