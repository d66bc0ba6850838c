#pragma once

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <system_error>

#include "tests/support/temp_dir.h"

namespace station::bench {

// Gives this process mounts of its own, so that what it mounts is gone when it ends, however it
// ends. Before any thread starts: a process that shares its filesystem context cannot.
inline void TakeOwnMounts() {
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        throw std::system_error(errno, std::generic_category(),
                                "mounts of its own (the run mounts the database's disks: as root)");
    }
}

// A disk of its own in a fresh folder (a memory file system of `megabytes`, open to every user)
// that can be filled to the last byte and freed again: a server writing there meets "no space
// left on device".
class SmallDisk {
public:
    explicit SmallDisk(int megabytes) : path_(folder_.Path()) {
        const std::string options = "size=" + std::to_string(megabytes) + "m,mode=0755";
        if (::mount("tmpfs", path_.c_str(), "tmpfs", 0, options.c_str()) != 0) {
            throw std::system_error(errno, std::generic_category(), "mount " + path_.string());
        }
    }
    ~SmallDisk() { ::umount2(path_.c_str(), MNT_DETACH); }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    const std::filesystem::path& Path() const { return path_; }

    // Takes every free block with a file of its own; Free gives them back.
    void Fill() const {
        const int file = ::open(Filler().c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        if (file < 0) {
            return;  // already full to the last inode
        }
        off_t end = 0;
        for (off_t step = off_t{1} << 30; step >= 4096; step /= 2) {
            while (::fallocate(file, 0, end, step) == 0) {
                end += step;
            }
        }
        ::close(file);
    }
    void Free() const { std::filesystem::remove(Filler()); }

private:
    std::filesystem::path Filler() const { return path_ / "filler"; }

    test::TempDir folder_;
    std::filesystem::path path_;
};

}  // namespace station::bench
