#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <chrono>
#include <functional>

namespace station::test {

// Runs Qt's event loop until `done` holds, at most `limit`; returns `done()`.
inline bool RunQtUntil(const std::function<bool()>& done,
                       std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    QDeadlineTimer deadline(limit);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return done();
}

}  // namespace station::test
