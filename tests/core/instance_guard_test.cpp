#include "core/files/instance_guard.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "tests/support/temp_dir.h"

namespace station::test {
namespace {

// Runs `body` in a child process and returns its exit code.
int InChild(const std::function<int()>& body) {
    const pid_t child = fork();
    if (child == 0) {
        _exit(body());
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(InstanceGuard, SecondHolderIsRefusedUntilTheFirstProcessEnds) {
    TempDir dir;
    const std::string token = dir / "token.lock";
    int to_child[2];
    int from_child[2];
    ASSERT_EQ(pipe(to_child), 0);
    ASSERT_EQ(pipe(from_child), 0);
    const pid_t first = fork();
    if (first == 0) {
        InstanceGuard guard;
        const char held = guard.Acquire(token) ? 'y' : 'n';
        [[maybe_unused]] auto w = write(from_child[1], &held, 1);
        char stop;
        [[maybe_unused]] auto r = read(to_child[0], &stop, 1);  // holds until told
        _exit(0);
    }
    char held = 0;
    ASSERT_EQ(read(from_child[0], &held, 1), 1);
    EXPECT_EQ(held, 'y');

    EXPECT_EQ(InChild([&] { return InstanceGuard().Acquire(token) ? 1 : 0; }), 0);

    const char stop = 's';
    ASSERT_EQ(write(to_child[1], &stop, 1), 1);
    waitpid(first, nullptr, 0);
    // The lock died with its holder; the file itself stays behind harmlessly.
    EXPECT_EQ(InChild([&] { return InstanceGuard().Acquire(token) ? 1 : 0; }), 1);
    for (const int fd : {to_child[0], to_child[1], from_child[0], from_child[1]}) {
        close(fd);
    }
}

TEST(InstanceGuard, AskingAgainInTheHoldingProcessSucceeds) {
    TempDir dir;
    InstanceGuard guard;
    EXPECT_TRUE(guard.Acquire(dir / "token.lock"));
    EXPECT_TRUE(guard.Held());
    EXPECT_TRUE(guard.Acquire(dir / "token.lock"));
}

TEST(InstanceGuard, TokenThatCannotBeMadeLetsTheStationRun) {
    TempDir dir;
    WriteFile(dir / "file", "x");
    InstanceGuard guard;
    EXPECT_TRUE(guard.Acquire(dir / "file/token.lock"));
    EXPECT_FALSE(guard.Held());
}

TEST(InstanceGuard, ForeignOrLinkedTokensAreNotUsed) {
    TempDir dir;
    // A link planted in a shared directory is not followed.
    ASSERT_EQ(symlink((dir / "elsewhere").c_str(), (dir / "link.lock").c_str()), 0);
    InstanceGuard linked;
    EXPECT_TRUE(linked.Acquire(dir / "link.lock"));
    EXPECT_FALSE(linked.Held());
    EXPECT_FALSE(std::filesystem::exists(dir / "elsewhere"));

    // A token of another user, even locked, does not lock this user out.
    WriteFile(dir / "foreign.lock", "");
    if (chown((dir / "foreign.lock").c_str(), 65534, 65534) != 0) {
        GTEST_SKIP() << "handing a file to another user needs root";
    }
    const int other = open((dir / "foreign.lock").c_str(), O_RDONLY);
    ASSERT_EQ(flock(other, LOCK_EX), 0);
    EXPECT_EQ(InChild([&] { return InstanceGuard().Acquire(dir / "foreign.lock") ? 1 : 0; }), 1);
    close(other);
}

TEST(InstanceGuard, TokenLivesInTheSessionRuntimeDirectory) {
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string previous = saved != nullptr ? saved : "";
    setenv("XDG_RUNTIME_DIR", "/run/user/1000", 1);
    EXPECT_EQ(InstanceGuard::SessionTokenPath(), "/run/user/1000/ApplicationTestMapServer.lock");
    unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(InstanceGuard::SessionTokenPath(),
              "/tmp/ApplicationTestMapServer-" + std::to_string(geteuid()) + ".lock");
    if (saved != nullptr) {
        setenv("XDG_RUNTIME_DIR", previous.c_str(), 1);
    }
}

}  // namespace
}  // namespace station::test
