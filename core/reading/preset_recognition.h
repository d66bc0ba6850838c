#pragma once

#include <string_view>
#include <vector>

#include "core/reading/indicator_format.h"

namespace station {

// A preset that reads every whole frame of a scale's recent bytes, and what it read in the
// last of them.
struct PresetMatch {
    std::string_view preset;
    IndicatorReading last;
};

// Every preset, in the settings' order, that reads a weight, or its over- or under-range mark,
// in every whole frame of `recent` as its own framing cuts them, with at least one weight among
// them. The bytes before a preset's first frame end and after its last are left out, as they
// may be parts of frames; empty frames and the block lines a preset leaves aside do not count.
std::vector<PresetMatch> RecognisePresets(std::string_view recent);

}  // namespace station
