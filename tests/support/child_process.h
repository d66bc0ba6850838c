#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

extern char** environ;

namespace station::test {

// Starts a program found on PATH with its output (both streams) appended to `output_path`.
inline pid_t Spawn(const std::vector<std::string>& arguments, const std::string& output_path) {
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output_path.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    // The test's own sockets stay with the test: a child holding one would keep it open.
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    pid_t pid = -1;
    const int error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        throw std::system_error(error, std::generic_category(), arguments[0]);
    }
    return pid;
}

inline int WaitFor(pid_t pid) {
    int status = -1;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

// Runs a program to its end; true when it exits with status 0.
inline bool RunToEnd(const std::vector<std::string>& arguments, const std::string& output_path) {
    const int status = WaitFor(Spawn(arguments, output_path));
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

inline constexpr std::chrono::milliseconds kEndBound{5000};

// Sends `signal` to the child `pid` and reaps it, waiting no longer than kEndBound before a
// SIGKILL, which it reports on standard error (the test's output). True when the child ended
// without the SIGKILL.
inline bool EndChild(pid_t pid, const std::string& name, int signal) {
    kill(pid, signal);
    const auto deadline = std::chrono::steady_clock::now() + kEndBound;
    for (;;) {
        int status = 0;
        const pid_t reaped = waitpid(pid, &status, WNOHANG);
        if (reaped != 0 && !(reaped < 0 && errno == EINTR)) {
            return true;  // ended, or not ours to wait for any more
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::fprintf(stderr, "%s (pid %d) still ran %lld ms after signal %d: killed\n", name.c_str(),
                 static_cast<int>(pid), static_cast<long long>(kEndBound.count()), signal);
    kill(pid, SIGKILL);
    WaitFor(pid);
    return false;
}

// A program run beside the test, ended with `end_signal` when this goes.
class ChildProcess {
public:
    ChildProcess(const std::vector<std::string>& arguments, const std::string& output_path,
                 int end_signal = SIGTERM)
        : pid_(Spawn(arguments, output_path)), name_(arguments.at(0)), end_signal_(end_signal) {}
    ~ChildProcess() { End(end_signal_); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Ends the process with `signal` (see EndChild); true when it needed no SIGKILL.
    bool End(int signal) {
        const bool polite = pid_ <= 0 || EndChild(pid_, name_, signal);
        pid_ = -1;
        return polite;
    }

private:
    pid_t pid_;
    std::string name_;
    int end_signal_;
};

}  // namespace station::test
