#include "core/reading/preset_recognition.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "core/reading/frame_fields.h"
#include "core/reading/framer.h"

namespace station {
namespace {

using Kind = IndicatorReading::Kind;

// Reads each frame cut after the first (the bytes may begin inside one) until one is no weight.
class EveryFrameRead final : public FrameSink {
public:
    explicit EveryFrameRead(const IndicatorFormat& format) : format_(format) {}

    void FrameCut(std::string_view frame) override {
        if (std::exchange(first_, false) || frame.empty() || refused_) {
            return;
        }
        Take(format_.Read(frame));
    }
    // A check that fails the frame read last refuses the format, as any frame it cannot read.
    void CheckFollowed(std::string_view frame) override {
        if (!first_ && !refused_ && format_.Read(frame).checksum_failed) {
            refused_ = true;
        }
    }

    // The match, when every frame read and one at least was a weight.
    std::optional<PresetMatch> Match(std::string_view preset) && {
        if (refused_ || weights_.empty()) {
            return std::nullopt;
        }
        constexpr int kUnit = 2;
        constexpr int kMotion = 1;
        constexpr int kCycling = 3;
        const int fit = (every_unit_known_ ? kUnit : 0) + (motion_read_ ? kMotion : 0) -
                        (Cycles() ? kCycling : 0);
        return PresetMatch{preset, std::move(*last_), fit};
    }

private:
    void Take(IndicatorReading reading) {
        if (reading.changes_nothing) {
            return;
        }
        if (reading.kind == Kind::kNotAWeight) {
            refused_ = true;
            return;
        }
        motion_read_ = motion_read_ || reading.motion.has_value();
        if (reading.kind == Kind::kWeight) {
            every_unit_known_ = every_unit_known_ && IsKnownUnit(reading.unit);
            weights_.push_back(reading.weight);
        }
        last_ = std::move(reading);
    }
    // A weight comes back to one it had before another came between (A B A): a scale's load
    // moves on, while the lines of a block read as weights take turns.
    bool Cycles() const {
        for (std::size_t i = 2; i < weights_.size(); ++i) {
            if (weights_[i] != weights_[i - 1] &&
                std::find(weights_.begin(), weights_.begin() + static_cast<std::ptrdiff_t>(i - 1),
                          weights_[i]) != weights_.begin() + static_cast<std::ptrdiff_t>(i - 1)) {
                return true;
            }
        }
        return false;
    }

    const IndicatorFormat& format_;
    bool first_ = true;
    bool refused_ = false;
    bool every_unit_known_ = true;
    bool motion_read_ = false;
    std::vector<std::string> weights_;
    std::optional<IndicatorReading> last_;
};

// How `format` reads the whole frames of `recent`, when it reads every one.
std::optional<PresetMatch> ReadsEveryFrame(std::string_view preset, const IndicatorFormat& format,
                                           std::string_view recent) {
    EveryFrameRead frames(format);
    ReceiveBuffer buffer;
    Framer(format.FrameBy()).Append(recent, buffer, frames);
    return std::move(frames).Match(preset);
}

}  // namespace

std::vector<PresetMatch> RecognisePresets(std::string_view recent) {
    std::vector<PresetMatch> matches;
    for (const std::string_view name : PresetNames()) {
        const std::unique_ptr<IndicatorFormat> format = MakePreset(name);
        if (std::optional<PresetMatch> match = ReadsEveryFrame(name, *format, recent)) {
            matches.push_back(std::move(*match));
        }
    }
    std::stable_sort(matches.begin(), matches.end(),
                     [](const PresetMatch& a, const PresetMatch& b) { return a.fit > b.fit; });
    return matches;
}

bool ClearlyBest(const std::vector<PresetMatch>& matches) {
    return matches.size() == 1 || (matches.size() > 1 && matches[0].fit > matches[1].fit);
}

}  // namespace station
