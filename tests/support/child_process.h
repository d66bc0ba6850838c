#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>
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

// A program run beside the test, ended (SIGTERM) when this goes.
class ChildProcess {
public:
    ChildProcess(const std::vector<std::string>& arguments, const std::string& output_path)
        : pid_(Spawn(arguments, output_path)) {}
    ~ChildProcess() { End(SIGTERM); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Sends `signal` and waits for the process to end.
    void End(int signal) {
        if (pid_ > 0) {
            kill(pid_, signal);
            WaitFor(pid_);
            pid_ = -1;
        }
    }

private:
    pid_t pid_;
};

}  // namespace station::test
