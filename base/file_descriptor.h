#pragma once

#include <utility>

namespace station {

// Owns an open file descriptor and closes it on every path. Close() closes early and tells
// whether the close failed, which for a file just written can be a late write error.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() { Reset(); }
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) {
            Reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    int Get() const { return fd_; }

    // Closes the descriptor now; false with errno set when the close reports an error. An
    // interrupted close has closed it all the same (Linux), so it counts as done.
    bool Close();

private:
    void Reset();

    int fd_ = -1;
};

}  // namespace station
