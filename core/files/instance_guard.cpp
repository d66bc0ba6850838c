#include "core/files/instance_guard.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace station {

bool InstanceGuard::Acquire(const std::string& path) {
    if (Held()) {
        return true;
    }
    // Read-only and never through a link: the token is only locked, never written.
    FileDescriptor token(open(path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!token.IsOpen()) {
        return true;
    }
    struct stat info {};
    // A file of another user in a shared directory must not lock this user out.
    if (fstat(token.Get(), &info) != 0 || info.st_uid != geteuid()) {
        return true;
    }
    if (flock(token.Get(), LOCK_EX | LOCK_NB) != 0) {
        return errno != EWOULDBLOCK;
    }
    token_ = std::move(token);
    return true;
}

std::string InstanceGuard::SessionTokenPath() {
    constexpr const char* kName = "ApplicationTestMapServer";
    const char* runtime_dir = std::getenv("XDG_RUNTIME_DIR");
    if (runtime_dir != nullptr && *runtime_dir != '\0') {
        return std::string(runtime_dir) + "/" + kName + ".lock";
    }
    return "/tmp/" + std::string(kName) + "-" + std::to_string(geteuid()) + ".lock";
}

}  // namespace station
