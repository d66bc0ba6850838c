#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "base/event_loop.h"
#include "base/log_throttle.h"
#include "ledger/store/ledger_health.h"
#include "ledger/store/ledger_message.h"
#include "ledger/store/ledger_rows.h"

namespace station::ledger {

// What becomes of a message the ledger rejects: counted per kind on the health board (every kind
// there from the start, at 0), said in the log once per kLogInterval of each kind with how many
// came, and made into the row the table `rejected` keeps.
class RejectionLog {
public:
    static constexpr std::chrono::minutes kLogInterval{1};

    using LogSink = std::function<void(const std::string& line)>;

    RejectionLog(EventLoop& loop, LogSink log, HealthBoard* health);

    // `received` is the ledger's time of it.
    RejectedRow Rejected(const Rejection& rejection, const std::string& topic,
                         const std::string& payload, std::string received);

private:
    struct OfKind {
        std::uint64_t count = 0;
        LogThrottle said{kLogInterval};
    };

    EventLoop& loop_;
    LogSink log_;
    HealthBoard* health_;
    std::map<RejectKind, OfKind> kinds_;
};

}  // namespace station::ledger
