#pragma once

#include <cstddef>
#include <string_view>

#include "core/reading/indicator_format.h"
#include "core/reading/receive_buffer.h"

namespace station {

// Hears the frames a Framer cuts.
class FrameSink {
public:
    virtual ~FrameSink() = default;
    // A whole frame, as received; line feeds left out where carriage returns end frames.
    virtual void FrameCut(std::string_view frame) = 0;
    // The frame cut last, where the bytes ended, now with the check byte that came after it.
    virtual void CheckFollowed(std::string_view /*frame*/) {}
    // A frame grew past kFrameCap: it is dropped, and the stream skipped up to its end.
    virtual void FrameDropped() {}
};

// Cuts one scale's byte stream, arriving in pieces of any size, into the frames its format
// reads (IndicatorFormat::Framing): at carriage returns, line feeds dropped, for the standard
// rule; at carriage returns and line feeds for a format's lines; at another end byte; before each
// frame's start byte; or at an end byte that a check byte may follow. Where frames have a start
// byte, they are cut from it, so that noise never spoils the frame after it. The frame under way
// is kept in the scale's ReceiveBuffer. The one place frames are cut: the decoder, preset
// recognition and the presets' fuzz target cut through it.
class Framer {
public:
    // A scale frame is well under 100 bytes; a peer that never ends one loses the unfinished part
    // at this size instead of growing the station without bound.
    static constexpr std::size_t kFrameCap = 8192;

    explicit Framer(IndicatorFormat::Framing framing = IndicatorFormat::kLines)
        : framing_(framing) {}

    void Append(std::string_view data, ReceiveBuffer& buffer, FrameSink& sink);
    // The stream ends here: a frame begun by its start byte is whole, though no next one came.
    void End(ReceiveBuffer& buffer, FrameSink& sink);
    // Whether a frame begun by its start byte waits unread for the next one, or for the line to
    // fall quiet (Quiet): its length alone cannot tell it whole when it arrived over reads.
    bool AwaitsQuiet(const ReceiveBuffer& buffer) const;
    // The line has sent nothing for a while: the frame that awaits it is whole.
    void Quiet(ReceiveBuffer& buffer, FrameSink& sink);

private:
    void AppendLines(std::string_view data, ReceiveBuffer& buffer, FrameSink& sink);
    void AppendEnded(std::string_view data, ReceiveBuffer& buffer, FrameSink& sink);
    void AppendStarted(std::string_view data, ReceiveBuffer& buffer, FrameSink& sink);
    void AppendChecked(std::string_view data, ReceiveBuffer& buffer, FrameSink& sink);
    static void AppendCapped(std::string_view bytes, ReceiveBuffer& buffer, FrameSink& sink);
    // The frame from its last start byte, where the framing has one.
    std::string_view FromStart(std::string_view frame) const;
    bool EndsLine(char c) const;

    IndicatorFormat::Framing framing_;
    // The length of the last frame cut by the next one's start: a frame as long, received in
    // one read with its start byte, is whole. Over several reads it may be a wider one cut short.
    std::size_t started_length_ = 0;
};

}  // namespace station
