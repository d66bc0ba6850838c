#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "base/event_loop.h"
#include "base/file_descriptor.h"

namespace station {

// One thread that does the loop's work one piece at a time: the loop hands it work and goes on,
// and hears that the work returned on its own thread; or, where it must, waits for it. Unlike
// off_loop's work, this work is never abandoned: it uses what the loop owns, which stays put
// until the work has returned.
class WorkerThread {
public:
    // Throws std::system_error when no thread or descriptor can be had.
    explicit WorkerThread(EventLoop& loop);
    // Waits for the work in hand; its `done` does not run.
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Work handed over and whose `done` has not run yet.
    bool Busy() const { return static_cast<bool>(done_); }
    // Precondition: !Busy(). `work` runs on the thread; `done` on the loop's thread once `work`
    // has returned (or in Finish). Neither may throw.
    void Run(std::function<void()> work, std::function<void()> done);
    // Waits for the work in hand, if any, and runs its `done` now.
    void Finish();

private:
    void Serve();

    FileDescriptor returned_signal_;  // an eventfd, readable once the work has returned
    std::unique_ptr<FdWatch> watch_;
    std::function<void()> done_;  // the loop's alone
    std::mutex mutex_;
    std::condition_variable changed_;
    std::function<void()> work_;  // guarded by mutex_: handed over, not yet returned
    bool stopping_ = false;       // guarded by mutex_
    std::thread thread_;          // last: it starts once the rest is in place
};

}  // namespace station
