#include "core/reading/stable_saves.h"

namespace station {

void ReadingHistory::Shown(const Reading& reading, std::string_view line, TimePoint at) {
    const std::string_view value = reading.exact.empty() ? line : reading.exact;
    if (run_lines_ == 0 || reading.kind != reading_.kind || reading.weight != reading_.weight ||
        value != value_) {
        run_start_ = at;
        run_lines_ = 0;
        value_.assign(value);
    }
    reading_ = reading;
    ++run_lines_;
    last_ = at;
}

ReadingHistory::Verdict ReadingHistory::Judge(bool connected, TimePoint now) const {
    if (!connected || reading_.kind != Reading::Kind::kWeight || now - last_ >= kFresh) {
        return Verdict::kInvalid;
    }
    const bool settled = reading_.motion
                             ? !*reading_.motion
                             : run_lines_ >= kSettledLines && last_ - run_start_ >= kSettledSpan;
    return settled ? Verdict::kStable : Verdict::kUnsettled;
}

void StableSaves::Configure(const SaveSettings& settings) {
    settings_ = settings;
    for (int scale = 1; IsScaleNumber(scale); ++scale) {
        if (Of(scale).wait) {
            Of(scale).wait.reset();
            handlers_.waiting(scale, false);
        }
    }
}

bool StableSaves::IsStable(int scale) const {
    return settings_.save_modes.at(static_cast<std::size_t>(scale - 1)) == SaveMode::kStable;
}

void StableSaves::Shown(int scale, const Reading& reading, std::string_view line) {
    Scale& entry = Of(scale);
    const auto now = loop_.Now();
    entry.history.Shown(reading, line, now);
    if (entry.wait) {
        Decide(scale, entry.history.Judge(entry.connected, now));
    }
}

void StableSaves::ConnectionShown(int scale, bool connected) {
    if (Of(scale).connected != connected) {
        Of(scale).history = {};  // lines of an earlier connection settle nothing
    }
    Of(scale).connected = connected;
    if (!connected && Of(scale).wait) {
        Finish(scale, Refusal::kNoValidReading);
    }
}

void StableSaves::SaveClicked(int scale) {
    Scale& entry = Of(scale);
    if (entry.wait) {
        return;  // one save at a time
    }
    if (Decide(scale, entry.history.Judge(entry.connected, loop_.Now()))) {
        return;
    }
    if (settings_.stable_wait_seconds == 0) {
        Finish(scale, Refusal::kNotStable);
        return;
    }
    entry.wait =
        loop_.StartTimer(std::chrono::seconds(settings_.stable_wait_seconds), [this, scale] {
            const bool fresh = Of(scale).history.Judge(Of(scale).connected, loop_.Now()) !=
                               ReadingHistory::Verdict::kInvalid;
            Finish(scale, fresh ? Refusal::kNotStable : Refusal::kNoValidReading);
        });
    handlers_.waiting(scale, true);
}

bool StableSaves::Decide(int scale, ReadingHistory::Verdict verdict) {
    switch (verdict) {
        case ReadingHistory::Verdict::kStable:
            Finish(scale, std::nullopt);
            return true;
        case ReadingHistory::Verdict::kInvalid:
            Finish(scale, Refusal::kNoValidReading);
            return true;
        case ReadingHistory::Verdict::kUnsettled:
            break;
    }
    return false;
}

void StableSaves::Finish(int scale, std::optional<Refusal> refusal) {
    if (Of(scale).wait) {
        Of(scale).wait.reset();
        handlers_.waiting(scale, false);
    }
    if (refusal) {
        loop_.Post([this, scale, why = *refusal] { handlers_.refuse(scale, why); });
    } else {
        loop_.Post(
            [this, scale, reading = Of(scale).history.Last()] { handlers_.save(scale, reading); });
    }
}

}  // namespace station
