#include "ui/qt_event_loop.h"

#include <QSocketNotifier>

namespace station::ui {
namespace {

class NotifierWatch final : public net::FdWatch {
public:
    NotifierWatch(const QtEventLoop& loop, int fd, net::EventLoop::ReadyCallback on_ready)
        : read_(new QSocketNotifier(fd, QSocketNotifier::Read)),
          write_(new QSocketNotifier(fd, QSocketNotifier::Write)),
          on_ready_(std::make_shared<net::EventLoop::ReadyCallback>(std::move(on_ready))) {
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
    std::shared_ptr<net::EventLoop::ReadyCallback> on_ready_;
};

}  // namespace

QtEventLoop::QtEventLoop(ExceptionHandler on_exception) : on_exception_(std::move(on_exception)) {}

std::unique_ptr<net::FdWatch> QtEventLoop::Watch(int fd, ReadyCallback on_ready) {
    return std::make_unique<NotifierWatch>(*this, fd, std::move(on_ready));
}

void QtEventLoop::Post(std::function<void()> call) {
    QMetaObject::invokeMethod(
        &context_, [this, call = std::move(call)] { Deliver(call); }, Qt::QueuedConnection);
}

void QtEventLoop::Deliver(const std::function<void()>& call) const {
    try {
        call();
    } catch (...) {
        on_exception_(std::current_exception());
    }
}

}  // namespace station::ui
