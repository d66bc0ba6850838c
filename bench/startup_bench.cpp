// The real program from process start to its four connection attempts (which follow the first
// showing of the window): median time and resident memory over runs. Argument: runs (10).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/loopback.h"
#include "tests/support/resident_memory.h"

namespace {

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 10;
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "station_startup";
    std::filesystem::create_directories(dir / "dane");
    std::filesystem::create_directories(dir / "run");
    std::filesystem::permissions(dir / "run", std::filesystem::perms::owner_all);

    std::vector<station::test::LoopbackListener> owned;
    std::vector<pollfd> listeners;
    std::ofstream settings(dir / "dane/konfig.ini");
    settings << "[Polaczenie]\r\n";
    for (int i = 0; i < 4; ++i) {
        const station::test::LoopbackListener& listener = owned.emplace_back(0, 8, SOCK_NONBLOCK);
        settings << "port" << i + 1 << "=" << listener.Port() << "\r\n";
        listeners.push_back({listener.Fd(), POLLIN, 0});
    }
    settings.close();

    std::vector<double> times_ms;
    std::vector<double> resident;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        const pid_t child = fork();
        if (child == 0) {
            std::filesystem::current_path(dir);
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
            setenv("XDG_RUNTIME_DIR", (dir / "run").c_str(), 1);
            execl(STATION_PROGRAM, STATION_PROGRAM, nullptr);
            _exit(127);
        }
        int accepted = 0;
        while (accepted < 4) {
            poll(listeners.data(), listeners.size(), 5000);
            for (pollfd& listener : listeners) {
                const int peer = accept(listener.fd, nullptr, nullptr);
                if (peer >= 0) {
                    ++accepted;
                    close(peer);
                }
            }
        }
        times_ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
        resident.push_back(station::test::ResidentMiB(std::to_string(child)));
        station::test::EndChild(child, "tarvelio", SIGTERM);
    }
    std::filesystem::remove_all(dir);
    std::printf("startup: %d runs: median %.1f ms to four connection attempts, RSS %.1f MiB\n",
                runs, Median(times_ms), Median(resident));
    return 0;
}
