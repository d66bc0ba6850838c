#include "service/delivery_state_store.h"

#include "core/files/io_error.h"
#include "core/register/delivery_state.h"

namespace station {

DeliveryStateStore::~DeliveryStateStore() {
    Flush();
}

void DeliveryStateStore::Keep(const RegisterPosition& place, bool more_coming) {
    pending_ = place;
    dirty_ = true;
    if (!more_coming) {
        Flush();
    } else if (!timer_) {
        timer_ = loop_.StartTimer(kInterval, [this] { Flush(); });
    }
}

void DeliveryStateStore::Flush() {
    timer_.reset();
    if (!dirty_) {
        return;
    }
    dirty_ = false;
    try {
        StoreDeliveryState(path_, pending_);
        reported_.clear();
    } catch (const InOutError& error) {
        const std::string problem =
            "cannot keep the delivery state in " + path_ + ": " + error.what();
        if (problem != reported_) {
            reported_ = problem;
            problem_(problem);
        }
    }
}

}  // namespace station
