#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace station::ledger {

// A few threads that run jobs handed to them in turn, off the threads that hand them over. The
// jobs waiting are bounded; at the end those still waiting are dropped, never run, so that it ends
// as soon as the jobs in hand are done.
class WorkerPool {
public:
    // A job: `run` does it; `drop` is called instead when the pool ends before it ran.
    struct Job {
        std::function<void()> run;
        std::function<void()> drop;
    };
    enum class Submitted { kYes, kFull, kStopping };

    WorkerPool(int workers, std::size_t most_waiting);
    ~WorkerPool() { Stop(); }
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // `bounded`: refused while most_waiting jobs wait already.
    Submitted Submit(Job job, bool bounded = true);
    // Drops the jobs waiting and waits for those running; later jobs are refused.
    void Stop();

private:
    void Work();

    std::size_t most_waiting_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> jobs_;
    bool stopping_ = false;
    std::vector<std::thread> workers_;  // last: they start once the rest is in place
};

}  // namespace station::ledger
