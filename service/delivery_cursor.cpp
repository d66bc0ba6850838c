#include "service/delivery_cursor.h"

#include <algorithm>

namespace station {

std::size_t DeliveryCursor::Room() const {
    return in_flight_.size() <= kWindow / 2 ? kWindow - in_flight_.size() : 0;
}

void DeliveryCursor::Sent(int message_id, const RegisterPosition& end) {
    in_flight_.push_back({message_id, end, false});
    next_ = sent_end_ = end;
}

bool DeliveryCursor::Skipped(const RegisterPosition& end) {
    in_flight_.push_back({0, end, true});
    next_ = end;
    return Advance();
}

bool DeliveryCursor::Acknowledged(int message_id) {
    const auto found = std::find_if(in_flight_.begin(), in_flight_.end(), [&](const Line& line) {
        return !line.acknowledged && line.message_id == message_id;
    });
    if (found == in_flight_.end()) {
        return false;
    }
    found->acknowledged = true;
    return Advance();
}

bool DeliveryCursor::Advance() {
    bool moved = false;
    while (!in_flight_.empty() && in_flight_.front().acknowledged) {
        delivered_ = in_flight_.front().end;
        in_flight_.pop_front();
        moved = true;
    }
    return moved;
}

void DeliveryCursor::SessionLost() {
    in_flight_.clear();
    next_ = sent_end_ = delivered_;
}

}  // namespace station
