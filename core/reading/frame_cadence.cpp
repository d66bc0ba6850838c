#include "core/reading/frame_cadence.h"

#include <algorithm>

namespace station {

void FrameCadence::Reset() {
    *this = FrameCadence();
}

void FrameCadence::FrameRead(TimePoint now) {
    if (last_frame_) {
        gaps_[next_gap_] = now - *last_frame_;
        next_gap_ = (next_gap_ + 1) % gaps_.size();
        gap_seen_ = true;
    }
    last_frame_ = now;
    unframed_since_.reset();
}

bool FrameCadence::Stale(TimePoint now) {
    if (!last_frame_) {
        if (!unframed_since_) {
            unframed_since_ = now;
        }
        return now - *unframed_since_ >= kBeforeFirstFrame;
    }
    const Duration frame =
        gap_seen_ ? *std::max_element(gaps_.begin(), gaps_.end()) : Duration(kBeforeFirstFrame);
    return now - *last_frame_ >= std::max<Duration>(3 * frame, kShortest);
}

}  // namespace station
