#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace station {

// What one frame of an indicator says, as a format reads it.
struct IndicatorReading {
    enum class Kind {
        kWeight,      // `weight` holds it
        kOver,        // over range
        kUnder,       // under range
        kNotAWeight,  // a count, a percentage, an error code, a withheld weight, a bad frame
    };
    Kind kind = Kind::kNotAWeight;
    bool changes_nothing = false;  // a line of a block that is not the one shown
    std::string weight;            // "[-]digits[.digits]", the point as the decimal mark
    std::string unit;              // as the frame writes it ("g", "lb"); empty where it has none
    std::optional<bool> motion;    // nullopt where the format does not say
    bool checksum_failed = false;  // the frame carried a checksum that does not match
};

// One way of reading an indicator's frames: a layout its continuous output follows. Frames come
// complete and without their CR; reading one allocates nothing.
class IndicatorFormat {
public:
    // How frames are cut from the byte stream: at `end`, which is left out of the frame, or,
    // where `end` starts each frame, before it, a frame being whole once it is as long as the
    // one before it. Frames cut at CR lose their line feeds, as the station's lines always have;
    // a format's lines also end at a line feed, as indicators set to LF-only endings send them
    // (a CR LF or LF CR pair ending one), and an empty one is no frame. Where frames begin with
    // `start`, a frame is cut from its last start byte, the bytes before it being noise (a start
    // byte just before the end being a check byte, not a start); with `checked`, `end` stays
    // in the frame and the one byte after it is the frame's check unless it is `start`.
    struct Framing {
        char end = '\r';
        bool end_starts_frame = false;
        char start = 0;
        bool checked = false;
        bool line_feeds_end = true;
    };

    // The standard rule's lines: cut at every CR, empty ones too, line feeds dropped.
    static constexpr Framing kLines{'\r', false, 0, false, false};

    virtual ~IndicatorFormat() = default;
    virtual IndicatorReading Read(std::string_view frame) const = 0;
    virtual Framing FrameBy() const { return {}; }
};

// The format of a preset's name, or nullptr when there is no such preset.
std::unique_ptr<IndicatorFormat> MakePreset(std::string_view name);

// What a preset's frames look like, in one line of Polish (UTF-8); empty for no such preset.
std::string_view PresetDescription(std::string_view name);

// The names of the presets, in the order the settings dialog lists them.
const std::vector<std::string_view>& PresetNames();

}  // namespace station
