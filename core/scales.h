#pragma once

#include <cstddef>

namespace station {

// The station watches this many scales, numbered 1 to kScaleCount.
inline constexpr std::size_t kScaleCount = 4;

// Whether `scale` names one of them; other numbers reach the decoder and the log too.
constexpr bool IsScaleNumber(int scale) {
    return scale >= 1 && scale <= static_cast<int>(kScaleCount);
}

}  // namespace station
