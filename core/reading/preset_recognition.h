#pragma once

#include <string_view>
#include <vector>

#include "core/reading/indicator_format.h"

namespace station {

// A preset that reads every whole frame of a scale's recent bytes, what it read in the last of
// them, and how well it fits them: better where every weight carries a known unit, where it
// reads a motion mark, and worse where its weight cycles between values (a block's lines read
// as a stream of weights).
struct PresetMatch {
    std::string_view preset;
    IndicatorReading last;
    int fit = 0;
};

// Every preset that reads a weight, or its over- or under-range mark, in every whole frame of
// `recent` as its own framing cuts them, with at least one weight among them, the best fitting
// first (in the settings' order where they fit alike). The bytes before a preset's first frame
// end and after its last are left out, as they may be parts of frames; empty frames and the
// block lines a preset leaves aside do not count.
std::vector<PresetMatch> RecognisePresets(std::string_view recent);

// Whether the first of `matches` fits better than the next, so that it may be chosen for the
// installer; otherwise they compare each candidate's reading with the indicator's display.
bool ClearlyBest(const std::vector<PresetMatch>& matches);

}  // namespace station
