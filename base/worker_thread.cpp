#include "base/worker_thread.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>
#include <utility>

namespace station {

WorkerThread::WorkerThread(EventLoop& loop)
    : returned_signal_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (!returned_signal_.IsOpen()) {
        throw std::system_error(errno, std::generic_category(), "eventfd");
    }
    watch_ = loop.Watch(returned_signal_.Get(), [this](bool, bool) {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t read = ::read(returned_signal_.Get(), &count, sizeof count);
        Finish();
    });
    watch_->SetInterest(true, false);
    thread_ = std::thread([this] { Serve(); });
}

WorkerThread::~WorkerThread() {
    {
        const std::lock_guard<std::mutex> guard(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();  // after the work in hand, if any
}

void WorkerThread::Run(std::function<void()> work, std::function<void()> done) {
    done_ = std::move(done);
    {
        const std::lock_guard<std::mutex> guard(mutex_);
        work_ = std::move(work);
    }
    changed_.notify_all();
}

void WorkerThread::Finish() {
    if (!done_) {
        return;
    }
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return !work_; });
    }
    // `done` may hand over the next work, or end the owner: nothing of this is touched after.
    const std::function<void()> done = std::exchange(done_, nullptr);
    done();
}

void WorkerThread::Serve() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return work_ || stopping_; });
        if (!work_) {
            return;
        }
        lock.unlock();
        work_();
        lock.lock();
        work_ = nullptr;
        changed_.notify_all();
        const std::uint64_t one = 1;
        // An eventfd counter cannot overflow from single adds the loop keeps reading.
        [[maybe_unused]] const ssize_t written = ::write(returned_signal_.Get(), &one, sizeof one);
    }
}

}  // namespace station
