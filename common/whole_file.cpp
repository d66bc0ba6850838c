#include "common/whole_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "base/file_descriptor.h"
#include "common/fd_io.h"

namespace station {
namespace {

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

ReadResult ReadWhole(const std::string& path, std::string& content) {
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.IsOpen()) {
        return errno == ENOENT ? ReadResult::kMissing : ReadResult::kFailed;
    }
    content.clear();
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(file.Get(), chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return got == 0 ? ReadResult::kRead : ReadResult::kFailed;
        }
        content.append(chunk, static_cast<std::size_t>(got));
    }
}

bool ReplaceAtomically(const std::string& target, std::string_view content,
                       const std::optional<struct stat>& existing) {
    static std::atomic<unsigned> counter{0};
    const std::string directory = DirectoryOf(target);
    const std::string temporary = directory + "/." + target.substr(target.rfind('/') + 1) + "." +
                                  std::to_string(::getpid()) + "." + std::to_string(counter++) +
                                  ".tmp";
    FileDescriptor file(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!file.IsOpen()) {
        return false;
    }
    bool written = WriteAll(file.Get(), content);
    if (written && existing) {
        written = ::fchmod(file.Get(), existing->st_mode & 07777) == 0;
        // Only root can hand a file to another owner; anyone else already owns what they replace.
        (void)!::fchown(file.Get(), existing->st_uid, existing->st_gid);
    }
    written = written && ::fsync(file.Get()) == 0;
    written = file.Close() && written;
    if (!written || ::rename(temporary.c_str(), target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    const FileDescriptor directory_file(
        ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory_file.IsOpen()) {
        ::fsync(directory_file.Get());
    }
    return true;
}

}  // namespace station
