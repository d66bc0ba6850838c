#pragma once

#include <string>

namespace station {

// One running station per user session: an exclusive lock on a token file in the user's runtime
// directory. The kernel drops the lock with the process, so a crash never blocks the next start.
class InstanceGuard {
public:
    InstanceGuard() = default;
    ~InstanceGuard();
    InstanceGuard(const InstanceGuard&) = delete;
    InstanceGuard& operator=(const InstanceGuard&) = delete;

    // False only when another process holds the token. A token that cannot be made at all lets
    // the station run. Once held, asking again succeeds.
    bool Acquire(const std::string& path);
    bool Held() const { return fd_ >= 0; }

    // $XDG_RUNTIME_DIR/ApplicationTestMapServer.lock, or a per-user name in /tmp without it.
    static std::string SessionTokenPath();

private:
    int fd_ = -1;
};

}  // namespace station
