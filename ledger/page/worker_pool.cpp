#include "ledger/page/worker_pool.h"

#include <utility>

namespace station::ledger {

WorkerPool::WorkerPool(int workers, std::size_t most_waiting) : most_waiting_(most_waiting) {
    for (int i = 0; i < workers; ++i) {
        workers_.emplace_back([this] { Work(); });
    }
}

WorkerPool::Submitted WorkerPool::Submit(Job job, bool bounded) {
    {
        const std::lock_guard lock(mutex_);
        if (stopping_) {
            return Submitted::kStopping;
        }
        if (bounded && jobs_.size() >= most_waiting_) {
            return Submitted::kFull;
        }
        jobs_.push_back(std::move(job));
    }
    changed_.notify_one();
    return Submitted::kYes;
}

void WorkerPool::Stop() {
    std::deque<Job> unmade;
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        unmade.swap(jobs_);
    }
    changed_.notify_all();
    for (Job& job : unmade) {
        job.drop();
    }
    for (std::thread& worker : workers_) {
        if (worker.joinable()) {
            worker.join();
        }
    }
}

void WorkerPool::Work() {
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (stopping_) {
                return;
            }
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job.run();
    }
}

}  // namespace station::ledger
