#include "base/off_loop.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <mutex>
#include <system_error>
#include <thread>

#include "base/file_descriptor.h"

namespace station::off_loop {
namespace {

// What the worker and the loop share; the worker keeps it alive until the work has returned.
struct Job {
    FileDescriptor finished_signal;  // an eventfd, readable once the work has returned
    std::function<void()> work;
    std::mutex mutex;  // orders the work's writes before the loop's reads
    bool finished = false;
};

class Handle final : public OffLoopWork {
public:
    Handle(EventLoop& loop, std::shared_ptr<Job> job, std::function<void()> done)
        : job_(std::move(job)), done_(std::move(done)) {
        watch_ = loop.Watch(job_->finished_signal.Get(), [this](bool, bool) { Finish(); });
        watch_->SetInterest(true, false);
    }

private:
    void Finish() {
        {
            const std::lock_guard<std::mutex> guard(job_->mutex);
            if (!job_->finished) {
                return;
            }
        }
        watch_.reset();
        // `done` may drop this handle: nothing of it is touched after the call.
        const std::function<void()> done = std::move(done_);
        done();
    }

    std::shared_ptr<Job> job_;
    std::function<void()> done_;
    std::unique_ptr<FdWatch> watch_;
};

}  // namespace

std::unique_ptr<OffLoopWork> Start(EventLoop& loop, std::function<void()> work,
                                   std::function<void()> done) {
    auto job = std::make_shared<Job>();
    job->finished_signal = FileDescriptor(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!job->finished_signal.IsOpen()) {
        throw std::system_error(errno, std::generic_category(), "eventfd");
    }
    job->work = std::move(work);
    auto handle = std::make_unique<Handle>(loop, job, std::move(done));
    std::thread([job = std::move(job)] {
        job->work();
        job->work = nullptr;  // what the work owns goes now, also when nobody waits any more
        {
            const std::lock_guard<std::mutex> guard(job->mutex);
            job->finished = true;
        }
        const std::uint64_t one = 1;
        // An eventfd counter cannot overflow from a single add, so the write cannot fail.
        [[maybe_unused]] const ssize_t written = write(job->finished_signal.Get(), &one, 8);
    }).detach();
    return handle;
}

}  // namespace station::off_loop
