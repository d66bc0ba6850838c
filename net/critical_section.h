#pragma once

#include <mutex>

namespace station::net {

// Re-entrant lock: a handler raised while the lock is held may enter it again.
class TCriticalSection {
public:
    void Enter() { mutex_.lock(); }
    void Leave() { mutex_.unlock(); }

private:
    std::recursive_mutex mutex_;
};

}  // namespace station::net
