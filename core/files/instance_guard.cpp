#include "core/files/instance_guard.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace station {

InstanceGuard::~InstanceGuard() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

bool InstanceGuard::Acquire(const std::string& path) {
    if (fd_ >= 0) {
        return true;
    }
    // Read-only and never through a link: the token is only locked, never written.
    const int fd = open(path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        return true;
    }
    struct stat info {};
    // A file of another user in a shared directory must not lock this user out.
    if (fstat(fd, &info) != 0 || info.st_uid != geteuid()) {
        close(fd);
        return true;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool taken = errno == EWOULDBLOCK;
        close(fd);
        return !taken;
    }
    fd_ = fd;
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
