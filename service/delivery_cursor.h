#pragma once

#include <cstddef>
#include <deque>

#include "core/register/register_place.h"

namespace station {

// Where delivery of the register stands, as places only: everything up to Delivered() was
// acknowledged, everything up to Next() was sent (or skipped); between them at most a window of
// lines is in flight. Acknowledgements may come in any order: Delivered() moves over the
// contiguous acknowledged start of the window only, so a line is never counted delivered before
// every line before it is. A lost session sends everything after Delivered() again.
class DeliveryCursor {
public:
    static constexpr std::size_t kWindow = 20;

    explicit DeliveryCursor(RegisterPosition delivered)
        : delivered_(delivered), next_(delivered), sent_end_(delivered) {}

    const RegisterPosition& Delivered() const { return delivered_; }
    const RegisterPosition& Next() const { return next_; }
    // Where the last line sent ended, or where sending started: the lines between it and Next()
    // were skipped, none sent.
    const RegisterPosition& SentEnd() const { return sent_end_; }
    std::size_t InFlight() const { return in_flight_.size(); }

    // How many lines may be sent now. The window is refilled by halves, so that working off a
    // backlog reads each line once rather than one line per acknowledgement.
    std::size_t Room() const;

    // The line ending at `end` went out as message `message_id`.
    void Sent(int message_id, const RegisterPosition& end);
    // The line ending at `end` is not sent; it counts as acknowledged. True when Delivered()
    // moved.
    bool Skipped(const RegisterPosition& end);
    // True when Delivered() moved; ids of other messages are ignored.
    bool Acknowledged(int message_id);
    // Nothing in flight any more: what was not acknowledged goes again.
    void SessionLost();

private:
    struct Line {
        int message_id;
        RegisterPosition end;
        bool acknowledged;
    };

    bool Advance();

    RegisterPosition delivered_;
    RegisterPosition next_;
    RegisterPosition sent_end_;
    std::deque<Line> in_flight_;
};

}  // namespace station
