#pragma once

#include <string>

#include "base/file_descriptor.h"

namespace station {

// One running station per user session: an exclusive lock on a token file in the user's runtime
// directory. The kernel drops the lock with the process, so a crash never blocks the next start.
class InstanceGuard {
public:
    // False only when another process holds the token. A token that cannot be made at all lets
    // the station run. Once held, asking again succeeds.
    bool Acquire(const std::string& path);
    bool Held() const { return token_.IsOpen(); }

    // $XDG_RUNTIME_DIR/ApplicationTestMapServer.lock, or a per-user name in /tmp without it.
    static std::string SessionTokenPath();

private:
    FileDescriptor token_;
};

}  // namespace station
