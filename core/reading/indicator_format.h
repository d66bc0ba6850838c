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
    std::string weight;           // "[-]digits[.digits]", the point as the decimal mark
    std::optional<bool> motion;   // nullopt where the format does not say
    bool checksum_failed = false;  // the frame carried a checksum that does not match
};

// One way of reading an indicator's frames: a layout its continuous output follows. Frames come
// complete and without their CR; reading one allocates nothing.
class IndicatorFormat {
public:
    virtual ~IndicatorFormat() = default;
    virtual IndicatorReading Read(std::string_view frame) const = 0;
};

// The format of a preset's name, or nullptr when there is no such preset.
std::unique_ptr<IndicatorFormat> MakePreset(std::string_view name);

// The names of the presets, in the order the settings dialog lists them.
const std::vector<std::string_view>& PresetNames();

}  // namespace station
