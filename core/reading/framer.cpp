#include "core/reading/framer.h"

#include <algorithm>

namespace station {
namespace {

constexpr char kCarriageReturn = '\r';
constexpr char kLineFeed = '\n';

bool EndsRun(char c) {
    return c == kCarriageReturn || c == kLineFeed;
}

}  // namespace

void Framer::Append(std::string_view data, ReceiveBuffer& buffer, FrameSink& sink) {
    if (framing_.checked) {
        AppendChecked(data, buffer, sink);
    } else if (framing_.end_starts_frame) {
        AppendStarted(data, buffer, sink);
    } else if (framing_.end != kCarriageReturn) {
        AppendEnded(data, buffer, sink);
    } else {
        AppendLines(data, buffer, sink);
    }
}

void Framer::End(ReceiveBuffer& buffer, FrameSink& sink) {
    if (framing_.end_starts_frame) {
        AppendStarted(std::string_view(&framing_.end, 1), buffer, sink);
    }
}

void Framer::AppendLines(std::string_view data, ReceiveBuffer& buffer, FrameSink& sink) {
    while (!data.empty()) {
        const auto end = std::find_if(data.begin(), data.end(), EndsRun);
        const auto run_length = static_cast<std::size_t>(end - data.begin());
        if (!buffer.skipping_overlong_line) {
            AppendCapped(data.substr(0, run_length), buffer, sink);
        }
        if (end == data.end()) {
            return;
        }
        if (EndsLine(*end)) {
            // The standard rule's empty lines are lines; a format's are the second byte of a pair.
            const std::string_view frame = FromStart(buffer.line);
            const bool empty = frame.empty() || frame == std::string_view(&framing_.start, 1);
            if (!buffer.skipping_overlong_line && (!framing_.line_feeds_end || !empty)) {
                sink.FrameCut(frame);
            }
            buffer.Clear();
        }
        if (*end == framing_.start) {
            buffer.line.push_back(*end);
        }
        data.remove_prefix(run_length + 1);
    }
}

void Framer::AppendEnded(std::string_view data, ReceiveBuffer& buffer, FrameSink& sink) {
    while (!data.empty()) {
        const std::size_t end = data.find(framing_.end);
        if (!buffer.skipping_overlong_line) {
            AppendCapped(data.substr(0, end), buffer, sink);
        }
        if (end == std::string_view::npos) {
            return;
        }
        if (!buffer.skipping_overlong_line && !buffer.line.empty()) {
            sink.FrameCut(FromStart(buffer.line));
        }
        buffer.Clear();
        data.remove_prefix(end + 1);
    }
}

void Framer::AppendStarted(std::string_view data, ReceiveBuffer& buffer, FrameSink& sink) {
    const char start = framing_.end;
    bool started_here = false;
    while (!data.empty()) {
        const std::size_t next = data.find(start);
        if (!buffer.skipping_overlong_line && next != 0) {
            AppendCapped(data.substr(0, next), buffer, sink);
            buffer.frame_read = false;  // read when the line fell quiet, it has grown since
        }
        const bool readable = !buffer.skipping_overlong_line && !buffer.line.empty();
        if (next == std::string_view::npos) {
            if (readable && started_here && buffer.line.size() == started_length_) {
                sink.FrameCut(buffer.line);  // as long as the frame before, in one read: whole
                buffer.frame_read = true;
            }
            return;
        }
        // The next frame starts: this one is whole. Read unless it was, as it is now.
        if (readable) {
            if (!buffer.frame_read) {
                sink.FrameCut(buffer.line);
            }
            started_length_ = buffer.line.size();
        }
        buffer.Clear();
        buffer.line.push_back(start);
        started_here = true;
        data.remove_prefix(next + 1);
    }
}

bool Framer::AwaitsQuiet(const ReceiveBuffer& buffer) const {
    return framing_.end_starts_frame && !buffer.skipping_overlong_line && !buffer.frame_read &&
           buffer.line.size() > 1;
}

void Framer::Quiet(ReceiveBuffer& buffer, FrameSink& sink) {
    if (AwaitsQuiet(buffer)) {
        sink.FrameCut(buffer.line);
        buffer.frame_read = true;
    }
}

void Framer::AppendChecked(std::string_view data, ReceiveBuffer& buffer, FrameSink& sink) {
    while (!data.empty()) {
        if (buffer.frame_read) {
            // The byte after a frame read at its end: the next frame's start or the frame's check,
            // which may yet fail it.
            if (data.front() != framing_.start) {
                buffer.line.push_back(data.front());
                data.remove_prefix(1);
                sink.CheckFollowed(FromStart(buffer.line));
            }
            buffer.Clear();
            continue;
        }
        const std::size_t end = data.find(framing_.end);
        if (!buffer.skipping_overlong_line) {
            AppendCapped(data.substr(0, end == std::string_view::npos ? end : end + 1), buffer,
                         sink);
        }
        if (end == std::string_view::npos) {
            return;
        }
        data.remove_prefix(end + 1);
        if (buffer.skipping_overlong_line || buffer.line.empty()) {
            buffer.Clear();
            continue;
        }
        const bool check_here = !data.empty() && data.front() != framing_.start;
        if (check_here) {
            buffer.line.push_back(data.front());
            data.remove_prefix(1);
        }
        sink.FrameCut(FromStart(buffer.line));
        if (check_here || !data.empty()) {
            buffer.Clear();
        } else {
            buffer.frame_read = true;  // read where the bytes end: its check may come next
        }
    }
}

std::string_view Framer::FromStart(std::string_view frame) const {
    if (framing_.start == 0 || frame.size() < 2) {
        return frame;
    }
    const std::size_t at = frame.rfind(framing_.start, frame.size() - 2);
    return at == std::string_view::npos ? frame : frame.substr(at);
}

bool Framer::EndsLine(char c) const {
    return c == kCarriageReturn || (c == kLineFeed && framing_.line_feeds_end);
}

void Framer::AppendCapped(std::string_view bytes, ReceiveBuffer& buffer, FrameSink& sink) {
    if (buffer.line.size() + bytes.size() <= kFrameCap) {
        buffer.line.append(bytes);
        return;
    }
    buffer.line.clear();
    buffer.skipping_overlong_line = true;
    sink.FrameDropped();
}

}  // namespace station
