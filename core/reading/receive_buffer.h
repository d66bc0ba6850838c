#pragma once

#include <string>

namespace station {

// A scale's line under way: the bytes received since its last carriage return, line feeds
// left out. After a line overran the cap, the rest of that line up to its carriage return is
// skipped, since its tail is not a line the scale sent.
struct ReceiveBuffer {
    std::string line;
    bool skipping_overlong_line = false;
    // `line` was read already: a frame whole by its length or by the line's quiet, or one
    // whose check byte may follow.
    bool frame_read = false;

    void Clear() {
        line.clear();
        skipping_overlong_line = false;
        frame_read = false;
    }
};

}  // namespace station
