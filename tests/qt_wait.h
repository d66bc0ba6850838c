#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <functional>

namespace station::test {

// Runs Qt's event loop until `done` holds, at most five seconds; returns `done()`.
inline bool RunQtUntil(const std::function<bool()>& done) {
    QDeadlineTimer deadline(5000);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return done();
}

}  // namespace station::test
