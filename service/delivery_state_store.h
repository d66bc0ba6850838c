#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "base/event_loop.h"
#include "core/register/register_place.h"

namespace station {

// Keeps the delivered place in the state file without a disk write per acknowledgement: while
// acknowledgements flow, the place is stored at most once per kInterval; when the flow stops,
// at once; and whatever is pending when this ends. A lost write costs repeats, never losses: the
// file only ever lags behind.
class DeliveryStateStore {
public:
    static constexpr auto kInterval = std::chrono::milliseconds(100);

    // `problem` hears of a failed write, once per change of its text.
    DeliveryStateStore(EventLoop& loop, std::string path,
                       std::function<void(const std::string& problem)> problem)
        : loop_(loop), path_(std::move(path)), problem_(std::move(problem)) {}
    ~DeliveryStateStore();
    DeliveryStateStore(const DeliveryStateStore&) = delete;
    DeliveryStateStore& operator=(const DeliveryStateStore&) = delete;

    // Delivery reached `place`; `more_coming` while acknowledgements are still awaited.
    void Keep(const RegisterPosition& place, bool more_coming);
    // Writes the pending place now, if any.
    void Flush();

private:
    EventLoop& loop_;
    std::string path_;
    std::function<void(const std::string&)> problem_;
    RegisterPosition pending_;
    bool dirty_ = false;
    std::unique_ptr<Timer> timer_;
    std::string reported_;
};

}  // namespace station
