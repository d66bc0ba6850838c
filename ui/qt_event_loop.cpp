#include "ui/qt_event_loop.h"

#include <QSocketNotifier>
#include <QTimer>

namespace station::ui {
namespace {

class NotifierWatch final : public FdWatch {
public:
    NotifierWatch(const QtEventLoop& loop, int fd, EventLoop::ReadyCallback on_ready)
        : read_(new QSocketNotifier(fd, QSocketNotifier::Read)),
          write_(new QSocketNotifier(fd, QSocketNotifier::Write)),
          on_ready_(std::make_shared<EventLoop::ReadyCallback>(std::move(on_ready))) {
        read_->setEnabled(false);
        write_->setEnabled(false);
        const auto deliver = [&loop, on_ready = std::weak_ptr(on_ready_)](bool readable) {
            // Held for the call: the callback may destroy this watch.
            if (const auto callback = on_ready.lock()) {
                loop.Deliver([&] { (*callback)(readable, !readable); });
            }
        };
        QObject::connect(read_, &QSocketNotifier::activated, read_, [deliver] { deliver(true); });
        QObject::connect(write_, &QSocketNotifier::activated, write_,
                         [deliver] { deliver(false); });
    }

    ~NotifierWatch() override {
        // Disabled at once, deleted once the loop is out of their signals.
        for (QSocketNotifier* notifier : {read_, write_}) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
    }

    NotifierWatch(const NotifierWatch&) = delete;
    NotifierWatch& operator=(const NotifierWatch&) = delete;

    void SetInterest(bool read, bool write) override {
        if (read_->isEnabled() != read) {
            read_->setEnabled(read);
        }
        if (write_->isEnabled() != write) {
            write_->setEnabled(write);
        }
    }

private:
    QSocketNotifier* read_;
    QSocketNotifier* write_;
    std::shared_ptr<EventLoop::ReadyCallback> on_ready_;
};

class SingleShotTimer final : public Timer {
public:
    SingleShotTimer(const QtEventLoop& loop, std::chrono::milliseconds delay,
                    std::function<void()> on_timeout)
        : timer_(new QTimer) {
        timer_->setSingleShot(true);
        timer_->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer_, &QTimer::timeout, timer_,
                         [&loop, on_timeout = std::move(on_timeout)] { loop.Deliver(on_timeout); });
        timer_->start(delay);
    }

    ~SingleShotTimer() override {
        // Stopped at once, deleted once the loop is out of its signal.
        timer_->stop();
        timer_->deleteLater();
    }

    SingleShotTimer(const SingleShotTimer&) = delete;
    SingleShotTimer& operator=(const SingleShotTimer&) = delete;

private:
    QTimer* timer_;
};

}  // namespace

QtEventLoop::QtEventLoop(ExceptionHandler on_exception) : on_exception_(std::move(on_exception)) {}

std::unique_ptr<FdWatch> QtEventLoop::Watch(int fd, ReadyCallback on_ready) {
    return std::make_unique<NotifierWatch>(*this, fd, std::move(on_ready));
}

void QtEventLoop::Post(std::function<void()> call) {
    QMetaObject::invokeMethod(
        &context_, [this, call = std::move(call)] { Deliver(call); }, Qt::QueuedConnection);
}

std::unique_ptr<Timer> QtEventLoop::StartTimer(std::chrono::milliseconds delay,
                                               std::function<void()> on_timeout) {
    return std::make_unique<SingleShotTimer>(*this, delay, std::move(on_timeout));
}

void QtEventLoop::Deliver(const std::function<void()>& call) const {
    try {
        call();
    } catch (...) {
        on_exception_(std::current_exception());
    }
}

}  // namespace station::ui
