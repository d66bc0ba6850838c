#include "core/reading/preset_recognition.h"

#include <memory>
#include <optional>
#include <string>

namespace station {
namespace {

using Kind = IndicatorReading::Kind;

// What `format` reads in the last whole frame of `recent`, when it reads every whole frame.
std::optional<IndicatorReading> ReadsEveryFrame(const IndicatorFormat& format,
                                                std::string_view recent) {
    // Frames that begin with a start byte hold their end and check: cut before each start.
    IndicatorFormat::Framing framing = format.FrameBy();
    if (framing.start != 0) {
        framing = {framing.start, true, 0};
    }
    const std::size_t first_end = recent.find(framing.end);
    const std::size_t last_end = recent.rfind(framing.end);
    if (first_end == std::string_view::npos || first_end == last_end) {
        return std::nullopt;  // no frame both begun and ended within the bytes
    }
    // Frames ended by `end` run from one end to the next; frames begun by it from one start to
    // the next.
    const std::size_t from = framing.end_starts_frame ? first_end : first_end + 1;
    const std::size_t to = framing.end_starts_frame ? last_end : last_end + 1;
    const std::string_view whole = recent.substr(from, to - from);
    std::optional<IndicatorReading> last;
    bool weighed = false;
    std::string frame;
    const auto read = [&] {
        if (frame.empty()) {
            return true;
        }
        IndicatorReading reading = format.Read(frame);
        frame.clear();
        if (reading.changes_nothing) {
            return true;
        }
        if (reading.kind == Kind::kNotAWeight) {
            return false;
        }
        weighed = weighed || reading.kind == Kind::kWeight;
        last = std::move(reading);
        return true;
    };
    for (const char c : whole) {
        if (c == framing.end && !read()) {
            return std::nullopt;
        }
        if (c == framing.end && !framing.end_starts_frame) {
            continue;
        }
        if (!(framing.end == '\r' && c == '\n')) {
            frame += c;
        }
    }
    if (!read() || !weighed) {
        return std::nullopt;
    }
    return last;
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
