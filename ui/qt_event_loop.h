#pragma once

#include <exception>
#include <functional>
#include <memory>

#include <QObject>

#include "base/event_loop.h"

namespace station::ui {

// The socket component's event loop over Qt's: socket notifiers for descriptors, queued calls
// for posted work, single-shot QTimers for timers. Exceptions escaping a callback go to the handler
// given here.
class QtEventLoop final : public EventLoop {
public:
    using ExceptionHandler = std::function<void(std::exception_ptr)>;

    explicit QtEventLoop(ExceptionHandler on_exception);

    TimePoint Now() const override { return SteadyTime::Instance().Now(); }
    std::unique_ptr<FdWatch> Watch(int fd, ReadyCallback on_ready) override;
    void Post(std::function<void()> call) override;
    std::unique_ptr<Timer> StartTimer(std::chrono::milliseconds delay,
                                      std::function<void()> on_timeout) override;

    // Runs `call`, handing anything it throws to the handler.
    void Deliver(const std::function<void()>& call) const;

private:
    ExceptionHandler on_exception_;
    QObject context_;  // posted calls die with the loop
};

}  // namespace station::ui
