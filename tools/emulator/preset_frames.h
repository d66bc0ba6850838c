#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace emulator {

// What a frame holds besides its weight (addresses, identifiers, tares, counts, status bits)
// and which of a layout's variants it takes. The emulator fills them with zeros and the first
// variant; the fuzz target with random values, to find a field read as the weight.
class FrameFill {
public:
    virtual ~FrameFill() = default;
    // A number from 0 to below - 1.
    virtual unsigned Next(unsigned below) = 0;
};

// Zeros and the first variant.
class FirstFill final : public FrameFill {
public:
    unsigned Next(unsigned /*below*/) override { return 0; }
};

// A frame of a preset's layout as the indicator sends it, its ends included.
struct PresetFrame {
    std::string bytes;
    std::string weight;  // the weight it carries, "[-]digits[.digits]"; empty when none
    bool over = false;   // the layout marks the load over range
    std::string unit;    // the unit it writes; empty where it writes none
    bool under = false;  // the layout marks the load under range
};

// The units a frame may be asked for; "lb:oz" is pounds where the layout has no ounces.
inline constexpr std::string_view kFrameUnits[] = {"kg", "g", "t", "lb", "oz", "lb:oz"};

// The presets' names, as the station knows them.
const std::vector<std::string_view>& PresetFrameNames();

// A frame of `preset` for a weight of `tenths` tenths of `unit`, cut to the layout's width, in
// the family's `variant` (-1: as `fill` chooses). With `over`, the layout's out-of-range mark
// where it has one: under range for a negative weight where the layout marks it (`under` set),
// else over (`over` set); else its no-weight frame where it has one, else the weight. A weight
// the layout's field cannot hold is out of range so.
PresetFrame MakePresetFrame(std::string_view preset, std::int64_t tenths, bool moving, bool over,
                            FrameFill& fill, std::string_view unit = "kg", int variant = -1);

}  // namespace emulator
