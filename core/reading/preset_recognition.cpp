#include "core/reading/preset_recognition.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>

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

    // The last frame's reading, when every frame read and one at least was a weight.
    std::optional<IndicatorReading> Last() && {
        return refused_ || !weighed_ ? std::nullopt : std::move(last_);
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
        weighed_ = weighed_ || reading.kind == Kind::kWeight;
        last_ = std::move(reading);
    }

    const IndicatorFormat& format_;
    bool first_ = true;
    bool refused_ = false;
    bool weighed_ = false;
    std::optional<IndicatorReading> last_;
};

// What `format` reads in the last whole frame of `recent`, when it reads every whole frame.
std::optional<IndicatorReading> ReadsEveryFrame(const IndicatorFormat& format,
                                                std::string_view recent) {
    EveryFrameRead frames(format);
    ReceiveBuffer buffer;
    Framer(format.FrameBy()).Append(recent, buffer, frames);
    return std::move(frames).Last();
}

}  // namespace

std::vector<PresetMatch> RecognisePresets(std::string_view recent) {
    std::vector<PresetMatch> matches;
    for (const std::string_view name : PresetNames()) {
        const std::unique_ptr<IndicatorFormat> format = MakePreset(name);
        if (std::optional<IndicatorReading> last = ReadsEveryFrame(*format, recent)) {
            matches.push_back({name, std::move(*last)});
        }
    }
    return matches;
}

}  // namespace station
