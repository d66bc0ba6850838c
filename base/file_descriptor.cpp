#include "base/file_descriptor.h"

#include <unistd.h>

#include <cerrno>

namespace station {

bool FileDescriptor::Close() {
    const int fd = std::exchange(fd_, -1);
    return fd < 0 || ::close(fd) == 0 || errno == EINTR;
}

void FileDescriptor::Reset() {
    if (fd_ >= 0) {
        ::close(std::exchange(fd_, -1));
    }
}

}  // namespace station
