#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "base/event_loop.h"

namespace station {

// Blocking work (a name lookup, a connection attempt) run off the loop's thread, its result
// handed back on the loop. One thread per piece of work, so a name server that never answers
// holds up nothing else.
//
// Dropping the handle abandons the work: its completion never runs, and the result, with all
// the work owns, is dropped on the worker when the work returns. That is also the policy at the
// station's exit: pending work is abandoned, not waited for, and the process ends with it.
class OffLoopWork {
public:
    virtual ~OffLoopWork() = default;
};

namespace off_loop {
// Runs `work` on a thread of its own, then `done` on the loop's thread unless the handle is gone
// by then. Throws std::system_error when no thread or descriptor can be had.
std::unique_ptr<OffLoopWork> Start(EventLoop& loop, std::function<void()> work,
                                   std::function<void()> done);
}  // namespace off_loop

// The same with a result: `done` gets what `work` returned.
template <typename Result>
std::unique_ptr<OffLoopWork> RunOffLoop(EventLoop& loop, std::function<Result()> work,
                                        std::function<void(Result)> done) {
    auto result = std::make_shared<std::optional<Result>>();
    return off_loop::Start(
        loop, [work = std::move(work), result] { result->emplace(work()); },
        [done = std::move(done), result] { done(std::move(**result)); });
}

}  // namespace station
